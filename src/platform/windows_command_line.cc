#include "platform/windows_command_line.h"

std::string quote_windows_argument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    return argument;
  }
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless a quote follows them: then each one is
    // doubled, and one more escapes the quote itself.
    const std::size_t count = c == '"' ? 2 * backslashes + 1 : backslashes;
    quoted.append(count, '\\');
    quoted.push_back(c);
    backslashes = 0;
  }
  // The closing quote follows: the backslashes before it are doubled so that
  // it still closes.
  quoted.append(2 * backslashes, '\\');
  quoted.push_back('"');
  return quoted;
}

std::string windows_command_line(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& argument : argv) {
    if (!line.empty()) line.push_back(' ');
    line += quote_windows_argument(argument);
  }
  return line;
}
