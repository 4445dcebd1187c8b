#include "orient/jpegtran.h"

#include <string_view>
#include <vector>

#include "orient/orientation.h"

namespace {

// A path that begins with '-' (under a folder argument such as "-2024") would
// be taken by jpegtran for one of its switches; "./" before it names the same
// file without that risk.
std::string file_argument(const std::string& path) {
  if (path.empty() || path[0] != '-') return path;
  return std::string(".") + kPathSeparator + path;
}

// jpegtran's arguments for one of the turning operations, each its own
// argument, so that no file name is ever parsed by a shell.
std::vector<std::string> jpegtran_arguments(const char* operation, const std::string& input,
                                            const std::string& output) {
  // "rotate 90" gives "-rotate" and "90".
  const std::string_view words = operation;
  const std::size_t blank = words.find(' ');
  std::string option = "-";
  option.append(words.substr(0, blank));
  return {"jpegtran",
          option,
          std::string(words.substr(blank + 1)),
          "-copy",
          "all",
          "-outfile",
          file_argument(output),
          file_argument(input)};
}

}  // namespace

bool jpegtran_turn(const Platform& os, int orientation, const std::string& input,
                   const std::string& output) {
  return os.run_program(jpegtran_arguments(ORIENTATION_NAMES[orientation], input, output)) == 0;
}
