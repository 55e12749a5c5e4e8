// One file of the install sequence fetched into the temporary folder, with the
// progress bar and the retry-or-cancel question.
#ifndef KUVANA_INSTALL_DOWNLOAD_STEP_H
#define KUVANA_INSTALL_DOWNLOAD_STEP_H

#include <windows.h>

#include <string>

// Thrown (as the int -1) when the user answers Cancel after a failed download.
using DownloadCancelledType = int;
constexpr DownloadCancelledType DownloadCancelled = -1;

// Size bounds of what the sequence and the net installer download: no
// installer the maker serves comes near them.
constexpr unsigned long long kMaxInstallerBytes = 1ull << 30;
constexpr unsigned long long kMaxResponseBytes = 64 * 1024;

// Fetches `url` into `folder` (a folder of the sequence's working folder,
// with its trailing backslash) as `fileName`, created afresh for every
// attempt. A response above `maxBytes` fails like any other failure.
// Returns when the file is complete; throws DownloadCancelled otherwise.
void DownloadFile(HWND pageWindow, const std::string& folder, const char* url, const char* fileName,
                  unsigned long long maxBytes);

#endif
