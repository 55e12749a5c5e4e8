// Small Windows fixtures for tests: an owner window for message boxes, a
// count of the process's open handles, UTF-8 for readable assertions and the
// Wine version.
#ifndef KUVANA_TESTS_TEST_WINDOWS_H
#define KUVANA_TESTS_TEST_WINDOWS_H

#include <windows.h>

#include <string>

// A hidden top-level window that stands in for a page's dialog window.
class OwnerWindow {
public:
    OwnerWindow();
    ~OwnerWindow();
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;

    HWND window = nullptr;
};

// Open handles of this process, found by probing the handle table: Wine's
// GetProcessHandleCount answers 0.
int CountOpenHandles();

std::string Utf8(const std::wstring& wide);

// Wine's major version (8 on Debian 12, 10 on Debian 13), 0 outside Wine:
// where the two differ, a test asserts what each gives.
int WineMajor();

#endif
