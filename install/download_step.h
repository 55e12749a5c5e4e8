// One file of the install sequence fetched into the temporary folder, with the
// progress bar and the retry-or-cancel question.
#ifndef KUVANA_INSTALL_DOWNLOAD_STEP_H
#define KUVANA_INSTALL_DOWNLOAD_STEP_H

#include <windows.h>

// Thrown (as the int -1) when the user answers Cancel after a failed download.
using DownloadCancelledType = int;
constexpr DownloadCancelledType DownloadCancelled = -1;

// Returns when the file is complete; throws DownloadCancelled otherwise.
void DownloadFile(HWND pageWindow, const char* url, const char* fileName);

#endif
