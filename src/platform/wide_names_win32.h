// Names between the tool, which keeps them in UTF-8, and the wide calls of
// Windows, which take any name whole, however long.
#pragma once

#include <string>

// UTF-16 of UTF-8 `text`; empty when it is not UTF-8.
std::wstring wide_text(const std::string& text);
// UTF-8 of UTF-16 `text`.
std::string utf8_text(const std::wstring& text);
// `path` as the wide calls take it. Past what a plain path may hold (259
// characters), it is made whole (absolute, without "." or "..") and given
// the \\?\ prefix (\\?\UNC\ for a share) that lets it through; shorter ones
// are passed as they are.
std::wstring wide_path(const std::string& path);
