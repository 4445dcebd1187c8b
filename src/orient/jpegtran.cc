#include "orient/jpegtran.h"

#include <string>
#include <string_view>
#include <vector>

#include "orient/orientation.h"

bool jpegtran_turn(const Platform& os, int orientation, FileHandle input, FileHandle output) {
  // "rotate 90" gives "-rotate" and "90", each its own argument.
  const std::string_view words = ORIENTATION_NAMES[orientation];
  const std::size_t blank = words.find(' ');
  std::string option = "-";
  option.append(words.substr(0, blank));
  const std::vector<std::string> argv = {"jpegtran", option, std::string(words.substr(blank + 1)),
                                         "-copy", "all"};
  return os.run_program(argv, input, output) == 0;
}
