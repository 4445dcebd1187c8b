#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdlib>

#include "platform/process_start.h"

namespace {

UINT console_code_page = 0;

void give_back_code_page() {
  SetConsoleOutputCP(console_code_page);
}

// Ctrl+C and closing the window end the program without its exit handlers:
// the console it shares with the shell gets its code page back first.
BOOL WINAPI give_back_on_break(DWORD) {
  give_back_code_page();
  return FALSE;  // and on to the usual end
}

}  // namespace

// Files are opened as handles, never as descriptors 0 to 2, and a closed pipe
// raises no signal. The program's text is UTF-8 (its manifest says so), and
// so is what a console shows of it until the program ends; redirected, the
// bytes go out as they are.
void prepare_process() {
  console_code_page = GetConsoleOutputCP();
  if (console_code_page != 0 && console_code_page != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
    (void)std::atexit(give_back_code_page);
    SetConsoleCtrlHandler(give_back_on_break, TRUE);
  }
}
