#include "orient/jpegtran.h"

#include <string>
#include <string_view>
#include <vector>

#include "orient/orientation.h"

namespace {

std::vector<std::string> turn_arguments(int orientation, bool trim) {
  // "rotate 90" gives "-rotate" and "90", each its own argument.
  const std::string_view words = ORIENTATION_NAMES[orientation];
  const std::size_t blank = words.find(' ');
  std::string operation = "-";
  operation += words.substr(0, blank);
  std::vector<std::string> argv = {"jpegtran", operation, std::string(words.substr(blank + 1))};
  if (trim) argv.emplace_back("-trim");
  argv.insert(argv.end(), {"-copy", "all"});
  return argv;
}

}  // namespace

bool jpegtran_turn(const Platform& os, int orientation, FileHandle input, FileHandle output) {
  return os.run_program(turn_arguments(orientation, false), input, output) == 0;
}

bool jpegtran_turn_thumbnail(const Platform& os, int orientation, FileHandle input,
                             FileHandle output) {
  return os.run_program(turn_arguments(orientation, true), input, output) == 0;
}
