// Screenshots without a display: every visible window of a tree is drawn by
// WM_PRINT into one bitmap at its own place, then written as PNG.
#ifndef KUVANA_SIM_CAPTURE_H
#define KUVANA_SIM_CAPTURE_H

#include <windows.h>

#include <string>

// False when the window has no area or the file cannot be written.
bool CaptureWindowPng(HWND root, const std::wstring& path);

#endif
