// One file of the install sequence fetched into the temporary folder, with the
// progress bar and the retry-or-cancel question.
#ifndef KUVANA_INSTALL_DOWNLOAD_STEP_H
#define KUVANA_INSTALL_DOWNLOAD_STEP_H

#include <windows.h>

#include <string>

// Thrown (as the int -1) when the user answers Cancel after a failed download.
using DownloadCancelledType = int;
constexpr DownloadCancelledType DownloadCancelled = -1;

// Fetches `url` into `folder` (the sequence's working folder, with its
// trailing backslash) as `fileName`, created afresh for every attempt. A
// response above `maxBytes` (0: no bound) fails like any other failure.
// Returns when the file is complete; throws DownloadCancelled otherwise.
void DownloadFile(HWND pageWindow, const std::string& folder, const char* url, const char* fileName,
                  unsigned long maxBytes = 0);

#endif
