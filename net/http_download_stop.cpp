// The stop path: Stop ends the transfer thread and closes every handle the job
// holds; the destructor stops a job that is still running.
#include "net/http_download.h"

#include <cstring>

#include "net/download_logic.h"
#include "net/http_download_internal.h"

using namespace download_job;

HttpDownload::~HttpDownload()
{
    try {
        CatchingFaults([&] {
            DownloadFaultPoint("~HttpDownload");
            if (Stop(false) != 0 && Stop(true) != 0)
                state = Broken;
        });
    } catch (...) {
        jobError = 999000;
        state = Broken;
    }
    DeleteCriticalSection(&lock);
}

int HttpDownload::Stop(bool terminate)
{
    try {
        int code = 0;
        CatchingFaults([&] { code = StopJob(terminate); });
        return code;
    } catch (...) {
        SetStepError(108, GetLastError());
        return 108;
    }
}

namespace {

// Each close spends its handle whatever the close gave: closing the value
// again later could close a handle someone else has been given since. The
// fault point before it lets tests make the close fail.
bool CloseSpent(HINTERNET* handle, const char* point, DWORD* error)
{
    DownloadFaultPoint(point);
    const BOOL closed = InternetCloseHandle(*handle);
    *error = GetLastError();
    *handle = nullptr;
    return closed != FALSE;
}

bool CloseSpent(HANDLE* handle, HANDLE none, const char* point, DWORD* error)
{
    DownloadFaultPoint(point);
    const BOOL closed = CloseHandle(*handle);
    *error = GetLastError();
    *handle = none;
    return closed != FALSE;
}

}  // namespace

int HttpDownload::StopJob(bool terminate)
{
    DownloadFaultPoint("Stop");
    DWORD error = 0;
    // A request whose close failed before the wait: recorded, and reported
    // once the thread has ended.
    int requestFailure = 0;
    if (threadHandle != nullptr) {
        if (!terminate) {
            // Closing the request first makes a read blocked in it return at
            // once where the platform allows it (Windows); Wine 8 lets the
            // read run on to its receive time-out, which the wait covers. A
            // failed close still waits: the thread may be inside WinINet, and
            // only the wait keeps the destructor from terminating it there.
            if (!AskThreadToEnd(&error)) {
                SetStepError(104, error);
                requestFailure = 104;
            }
            if (WaitForSingleObject(threadHandle, kStopWait) != WAIT_OBJECT_0) {
                SetStepError(100, GetLastError());
                return 100;
            }
            if (!CloseSpent(&threadHandle, nullptr, "Stop.thread", &error)) {
                SetStepError(101, error);
                return 101;
            }
        } else {
            if (!TerminateThread(threadHandle, 313000)) {
                SetStepError(102, GetLastError());
                return 102;
            }
            if (!CloseSpent(&threadHandle, nullptr, "Stop.thread", &error)) {
                SetStepError(103, error);
                return 103;
            }
        }
    }
    if (requestFailure != 0)
        return requestFailure;
    if (requestHandle != nullptr && !CloseSpent(&requestHandle, "Stop.request", &error)) {
        SetStepError(104, error);
        return 104;
    }
    if (connectionHandle != nullptr && !CloseSpent(&connectionHandle, "Stop.connection", &error)) {
        SetStepError(105, error);
        return 105;
    }
    if (internetHandle != nullptr && !CloseSpent(&internetHandle, "Stop.internet", &error)) {
        SetStepError(106, error);
        return 106;
    }
    if (fileHandle != INVALID_HANDLE_VALUE && !CloseSpent(&fileHandle, INVALID_HANDLE_VALUE, "Stop.file", &error)) {
        SetStepError(107, error);
        return 107;
    }
    std::memset(url, 0, sizeof url);
    std::memset(localPath, 0, sizeof localPath);
    stopRequested = 0;
    silenceEnded = 0;
    totalBytes = 0;
    receivedBytes = 0;
    state = Idle;
    return 0;
}

bool HttpDownload::AskThreadToEnd(DWORD* error)
{
    stopRequested = 1;
    return requestHandle == nullptr || CloseSpent(&requestHandle, "Stop.request", error);
}

// The thread bounds a slow body itself, but not a call that never returns: a
// server trickling its status line and headers under the per-receive time-out
// keeps HttpSendRequestA waiting for ever. The owner's poll holds the whole
// transfer to the slow-transfer window: no progress within it starts the stop
// by closing the request, which ends that call at once on Windows (Wine 8
// ignores a close from another thread). It does not wait for the thread: the
// owner may be a property sheet's thread, and the destructor's Stop waits.
void HttpDownload::BoundSilence()
{
    if (stopRequested || GetTickCount() - progressTick <= kTrickleWindowMilliseconds)
        return;
    silenceEnded = 1;
    DWORD error = 0;
    if (!AskThreadToEnd(&error))
        SetStepError(104, error);
}
