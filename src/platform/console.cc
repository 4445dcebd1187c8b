#include "platform/console.h"

#include <cstdarg>
#include <cstdio>

#include "platform/terminal.h"

namespace {

// A terminal shows each fragment as it comes; nothing is gathered.
bool shown_at_once = false;

}  // namespace

bool console_shows_at_once() {
  return shown_at_once;
}

void console_setup() {
  // A terminal gets each fragment the moment it is printed, so that it stands
  // before anything a child process prints; elsewhere, whole blocks.
  shown_at_once = stdout_is_terminal();
  if (shown_at_once) {
    (void)std::setvbuf(stdout, nullptr, _IONBF, 0);
  } else {
    // A buffer of our own: given none, the C library picks the size from the
    // output's block size.
    static char block[4096];
    (void)std::setvbuf(stdout, block, _IOFBF, sizeof block);
  }
}

namespace {

thread_local std::string* gathered = nullptr;

void append_formatted(std::string* text, const char* format, std::va_list args) {
  std::va_list again;
  va_copy(again, args);
  char small[256];
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): the caller's va_start
  const int length = std::vsnprintf(small, sizeof small, format, args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(length) < sizeof small) {
    text->append(small, static_cast<std::size_t>(length));
  } else {
    const std::size_t start = text->size();
    text->resize(start + static_cast<std::size_t>(length) + 1);
    (void)std::vsnprintf(text->data() + start, static_cast<std::size_t>(length) + 1, format, again);
    text->resize(start + static_cast<std::size_t>(length));
  }
  va_end(again);
}

}  // namespace

void console_print(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  if (gathered != nullptr) {
    append_formatted(gathered, format, args);
  } else {
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): va_start above
    (void)std::vprintf(format, args);
  }
  va_end(args);
}

void console_gather(std::string* text) {
  if (!shown_at_once) gathered = text;
}

std::string* console_divert(std::string* text) {
  std::string* const before = gathered;
  gathered = text;
  return before;
}

void console_print_text(const std::string& text) {
  (void)std::fwrite(text.data(), 1, text.size(), stdout);
}

void console_flush() {
  (void)std::fflush(stdout);
}
