// ANSI text to UTF-16 for the calls that must not pass through a code page.
#ifndef KUVANA_COMMON_WIDE_TEXT_H
#define KUVANA_COMMON_WIDE_TEXT_H

#include <string>

// Paths and command lines are ANSI throughout; what must pass through no code
// page (the environment, names an installer left) is handled wide. Empty when
// `text` is empty or cannot be converted.
std::wstring WideFromAnsi(const std::string& text);

#endif
