// The command line a Windows program is started with: one string, which the
// program's runtime splits back into its arguments. Plain string work, built
// on every system so that it is tested everywhere.
#pragma once

#include <string>
#include <vector>

// One argument as it must stand on a command line so that the runtime's
// splitting gives it back unchanged: left bare when it holds no blank, tab,
// line end or double quote and is not empty; otherwise put in double quotes,
// with each quote escaped by a backslash and the backslashes that come before
// a quote, or before the closing quote, doubled. Characters that mean
// something only to the command interpreter (%, ^, &, |, <, >) are left as
// they are: no interpreter reads this line.
std::string quote_windows_argument(const std::string& argument);

// The arguments quoted and joined by single blanks. The first, the program's
// name, follows the same rules; a name holding a double quote cannot be
// written at all, and none is ever given.
std::string windows_command_line(const std::vector<std::string>& argv);
