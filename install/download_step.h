// One file of the install sequence fetched into the temporary folder, with the
// progress bar and the retry-or-cancel question.
#ifndef KUVANA_INSTALL_DOWNLOAD_STEP_H
#define KUVANA_INSTALL_DOWNLOAD_STEP_H

#include <windows.h>

#include <functional>
#include <string>

// Thrown (as the int -1) when the user answers Cancel after a failed download.
using DownloadCancelledType = int;
constexpr DownloadCancelledType DownloadCancelled = -1;

// Fetches `url` into `folder` (a folder of the sequence's working folder,
// with its trailing backslash) as `fileName`, created afresh for every
// attempt. A response above `maxBytes` fails like any other failure.
// Returns when the file is complete; throws DownloadCancelled otherwise.
void DownloadFile(HWND pageWindow, const std::string& folder, const char* url, const char* fileName,
                  unsigned long long maxBytes);

// Fetches `url` as DownloadFile does, then its signature (SignatureAddress,
// at most kMaxSignatureBytes) beside it as SignatureName(fileName). A
// signature that cannot be fetched is a failed download of the file. `check`,
// when given, runs once both have arrived; false counts as a failed download
// as well, so the user is asked to retry both or cancel.
void DownloadSignedFile(HWND pageWindow, const std::string& folder, const char* url, const char* fileName,
                        unsigned long long maxBytes, const std::function<bool()>& check = nullptr);

#endif
