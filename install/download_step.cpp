// One file of the install sequence fetched into the temporary folder: a new
// download job per attempt, the progress bar driven from it, and the user's
// Retry or Cancel after each failure.
#include "install/download_step.h"

#include "common/path_text.h"
#include "install/command_lines.h"
#include "net/http_download.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"
#include "trust/release_signature.h"

#include <commctrl.h>

namespace {

const DWORD kPollMilliseconds = 100;
// How long an earlier attempt's file may take to go.
const DWORD kEarlierFileWaitMilliseconds = 5000;

// Removes what an earlier attempt left under `path` and waits until it is
// gone: a virus scanner looking at the new file may hold it for a moment, and
// its deletion is then refused or left pending, so that creating the file
// anew would fail. False when it is still there after the wait, at once for a
// folder, which no wait removes.
bool RemoveEarlierFile(const std::string& path)
{
    for (DWORD waited = 0;; waited += kPollMilliseconds) {
        DeleteFileA(path.c_str());
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND)
            return true;
        if (waited >= kEarlierFileWaitMilliseconds ||
            (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)))
            return false;
        Sleep(kPollMilliseconds);
    }
}

void SetBar(HWND bar, int percent)
{
    SendMessageA(bar, PBM_SETPOS, WPARAM(percent), 0);
}

// Runs one attempt on a fresh job to its end; true when the file is complete.
// A page closed meanwhile stops the transfer and ends the step as Cancel does:
// nobody is left to wait for the file, and the worker must not outlive the
// wizard by a whole download.
bool Attempt(HWND pageWindow, HttpDownload& job, HWND bar, const char* url, const std::string& localPath,
             unsigned long long maxBytes, bool retry)
{
    // The working folder is ours alone: what lies there under this name is an
    // earlier attempt's, and the new file is created only where none exists.
    // Only a retry waits for it to go; before a first attempt nothing can hold it.
    if (!localPath.empty() && retry)
        RemoveEarlierFile(localPath);
    else if (!localPath.empty())
        DeleteFileA(localPath.c_str());
    job.SetLocalFileRules(true, maxBytes);
    job.Start(url, localPath.c_str());
    if (job.GetState() != HttpDownload::Prepared) {
        // A job that did not start is neither polled nor waited for.
        job.jobError = 200000;
        SetBar(bar, 0);
        return job.GetResult() == 0;
    }
    job.Run();
    SetBar(bar, 0);
    int percent = job.GetPercent();
    SetBar(bar, percent);
    // The state test is the last call before the result is read, since
    // GetPercent would clear a copied failure.
    while (job.GetState() != HttpDownload::Finished) {
        Sleep(kPollMilliseconds);
        if (!IsWindow(pageWindow)) {
            job.Stop(false);
            throw DownloadCancelled;
        }
        percent = job.GetPercent();
        SetBar(bar, percent);
    }
    SetBar(bar, percent);
    return job.GetResult() == 0;
}

}  // namespace

namespace {

std::string LocalPath(const std::string& folder, const std::string& fileName)
{
    // Without a working folder or a name the path stays empty, so every
    // attempt fails at Start instead of writing elsewhere.
    return !folder.empty() && !fileName.empty() ? DownloadPath(folder, fileName) : std::string();
}

void Download(HWND pageWindow, const std::string& folder, const char* url, const char* fileName,
              unsigned long long maxBytes, bool withSignature, const std::function<bool()>& check)
{
    HWND bar = GetDlgItem(pageWindow, IDC_PROGRESS_BAR);
    const std::string name = fileName != nullptr ? fileName : "";
    const std::string localPath = LocalPath(folder, name);
    const std::string signatureUrl = SignatureAddress(url != nullptr ? url : "");
    const std::string signaturePath = LocalPath(folder, SignatureName(name));
    for (bool retry = false;; retry = true) {
        // The failed attempt's jobs live until the user has answered.
        HttpDownload job;
        HttpDownload signatureJob;
        bool done = Attempt(pageWindow, job, bar, url, localPath, maxBytes, retry);
        if (done && withSignature)
            done = Attempt(pageWindow, signatureJob, bar, signatureUrl.c_str(), signaturePath, kMaxSignatureBytes,
                           retry);
        if (done && check)
            done = check();
        if (done)
            return;
        char text[kStringBufferSize];
        LoadModuleStringInto(IDS_DOWNLOAD_RETRY_CANCEL, text);
        // Only an explicit Retry tries again. A question that could not be shown
        // (0, e.g. once the wizard is gone) would otherwise retry forever with
        // nobody there to stop it.
        if (MessageBoxA(pageWindow, text, nullptr, MB_RETRYCANCEL) != IDRETRY)
            throw DownloadCancelled;
    }
}

}  // namespace

void DownloadFile(HWND pageWindow, const std::string& folder, const char* url, const char* fileName,
                  unsigned long long maxBytes)
{
    Download(pageWindow, folder, url, fileName, maxBytes, false, nullptr);
}

void DownloadSignedFile(HWND pageWindow, const std::string& folder, const char* url, const char* fileName,
                        unsigned long long maxBytes, const std::function<bool()>& check)
{
    Download(pageWindow, folder, url, fileName, maxBytes, true, check);
}
