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

int HttpDownload::StopJob(bool terminate)
{
    DownloadFaultPoint("Stop");
    if (threadHandle != nullptr) {
        if (!terminate) {
            stopRequested = 1;
            // Closing the request first makes a read blocked in it return at
            // once where the platform allows it (Windows); Wine 8 lets the
            // read run on to its receive time-out, which the wait covers.
            if (requestHandle != nullptr) {
                if (!InternetCloseHandle(requestHandle)) {
                    SetStepError(104, GetLastError());
                    return 104;
                }
                requestHandle = nullptr;
            }
            if (WaitForSingleObject(threadHandle, kStopWait) != WAIT_OBJECT_0) {
                SetStepError(100, GetLastError());
                return 100;
            }
            if (!CloseHandle(threadHandle)) {
                SetStepError(101, GetLastError());
                return 101;
            }
        } else {
            if (!TerminateThread(threadHandle, 313000)) {
                SetStepError(102, GetLastError());
                return 102;
            }
            if (!CloseHandle(threadHandle)) {
                SetStepError(103, GetLastError());
                return 103;
            }
        }
        threadHandle = nullptr;
    }
    if (requestHandle != nullptr) {
        if (!InternetCloseHandle(requestHandle)) {
            SetStepError(104, GetLastError());
            return 104;
        }
        requestHandle = nullptr;
    }
    if (connectionHandle != nullptr) {
        if (!InternetCloseHandle(connectionHandle)) {
            SetStepError(105, GetLastError());
            return 105;
        }
        connectionHandle = nullptr;
    }
    if (internetHandle != nullptr) {
        if (!InternetCloseHandle(internetHandle)) {
            SetStepError(106, GetLastError());
            return 106;
        }
        internetHandle = nullptr;
    }
    if (fileHandle != INVALID_HANDLE_VALUE) {
        if (!CloseHandle(fileHandle)) {
            SetStepError(107, GetLastError());
            return 107;
        }
        fileHandle = INVALID_HANDLE_VALUE;
    }
    std::memset(url, 0, sizeof url);
    std::memset(localPath, 0, sizeof localPath);
    stopRequested = 0;
    totalBytes = 0;
    receivedBytes = 0;
    state = Idle;
    return 0;
}
