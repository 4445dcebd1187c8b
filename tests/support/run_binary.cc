#include "support/run_binary.h"

std::string after_banner(const std::string& out) {
  std::size_t at = 0;
  for (int line = 0; line < 3 && at != std::string::npos; ++line) {
    at = out.find('\n', at);
    if (at != std::string::npos) ++at;
  }
  return at == std::string::npos ? std::string() : out.substr(at);
}
