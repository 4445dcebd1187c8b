#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "platform/terminal.h"

bool stdout_is_terminal() {
  // A character device is a console, unless it is NUL or a port: only a
  // console has a console mode.
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  return out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) == FILE_TYPE_CHAR &&
         GetConsoleMode(out, &mode);
}

bool console_window_is_own() {
  DWORD processes[2] = {};
  const DWORD attached = GetConsoleProcessList(processes, 2);
  DWORD mode = 0;
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  const bool input_is_console =
      in != nullptr && in != INVALID_HANDLE_VALUE && GetConsoleMode(in, &mode);
  return window_is_own(attached, input_is_console, stdout_is_terminal());
}
