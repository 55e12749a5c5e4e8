// The download job's state and the owner's calls: construction, Start, Run
// and the polled getters, and the locked setters of its error fields.
#include "net/http_download.h"

#include <process.h>

#include <cstring>

#include "net/download_logic.h"
#include "net/http_download_internal.h"

using namespace download_job;

HttpDownload::HttpDownload()
    : state(Idle),
      totalBytes(0),
      receivedBytes(0),
      transferResult(0),
      systemError(0),
      stopRequested(0),
      requestHandle(nullptr),
      fileHandle(INVALID_HANDLE_VALUE),
      threadHandle(nullptr),
      internetHandle(nullptr),
      connectionHandle(nullptr),
      jobError(0),
      stepError(0),
      createNewFile(false),
      sizeLimit(kNoSizeBound),
      progressTick(0),
      silenceEnded(0),
      httpStatus(0)
{
    std::memset(url, 0, sizeof url);
    std::memset(localPath, 0, sizeof localPath);
    std::memset(&lock, 0, sizeof lock);
    try {
        CatchingFaults([&] {
            InitializeCriticalSection(&lock);
            DownloadFaultPoint("HttpDownload");
        });
    } catch (...) {
        jobError = 999000;
        state = Broken;
    }
}

// ---- locked setters ----------------------------------------------------------

void HttpDownload::SetJobError(int code, DWORD error)
{
    if (!StoreLocked(&lock, "SetJobError", [&] {
            jobError = code;
            systemError = LONG(error);
        }))
        BreakInSetter();
}

void HttpDownload::SetStepError(int code, DWORD error)
{
    if (!StoreLocked(&lock, "SetStepError", [&] {
            stepError = code;
            systemError = LONG(error);
        }))
        BreakInSetter();
}

void HttpDownload::SetTransferResult(int code, DWORD error)
{
    if (!StoreLocked(&lock, "SetTransferResult", [&] {
            transferResult = code;
            systemError = LONG(error);
        }))
        BreakInSetter();
}

void HttpDownload::SetSystemError(DWORD error)
{
    if (!StoreLocked(&lock, "SetSystemError", [&] { systemError = LONG(error); }))
        BreakInSetter();
}

// The lock is released by then (StoreLocked's guard has unwound).
void HttpDownload::BreakInSetter()
{
    jobError = 999000;
    state = Broken;
}

// ---- owner operations --------------------------------------------------------

bool HttpDownload::Start(const char* newUrl, const char* newLocalPath)
{
    bool started = false;
    try {
        CatchingFaults([&] { started = StartJob(newUrl, newLocalPath); });
    } catch (...) {
        Stop(false);
        jobError = 112000;
        state = Broken;
        return false;
    }
    return started;
}

bool HttpDownload::StartJob(const char* newUrl, const char* newLocalPath)
{
    jobError = 0;
    httpStatus = 0;
    DownloadFaultPoint("Start");
    if (state != Idle && state != Prepared && state != Finished) {
        jobError = 100000;
        return false;
    }
    int code = StartArgumentsCode(newUrl, newLocalPath);
    if (code != 0) {
        Stop(false);
        jobError = code;
        return false;
    }
    if (Stop(false) != 0) {
        jobError = 105000;
        return false;
    }
    // The local file is created (and emptied) before the URL is looked at.
    if (CreateLocalFile(newLocalPath) != 0) {
        Stop(false);
        jobError = 106000;
        return false;
    }
    if (!CopyBounded(url, sizeof url, newUrl)) {
        Stop(false);
        jobError = 107000;
        state = Broken;
        return false;
    }
    if (!CopyBounded(localPath, sizeof localPath, newLocalPath)) {
        Stop(false);
        jobError = 108000;
        state = Broken;
        return false;
    }
    int scheme = 0;
    char host[512] = {};
    char path[512] = {};
    INTERNET_PORT port = 0;
    if (CrackUrl(url, &scheme, host, path, &port) != 0) {
        Stop(false);
        jobError = 109000;
        return false;
    }
    // HTTPS as well as HTTP: installers that run with administrator rights
    // must be able to come over a channel nobody on the way can rewrite.
    if (scheme != INTERNET_SCHEME_HTTP && scheme != INTERNET_SCHEME_HTTPS) {
        Stop(false);
        jobError = 110000;
        return false;
    }
    if (OpenRequest(host, path, port, scheme == INTERNET_SCHEME_HTTPS) != 0) {
        Stop(false);
        jobError = 111000;
        return false;
    }
    state = Prepared;
    return true;
}

bool HttpDownload::Run()
{
    state = Running;
    progressTick = GetTickCount();
    threadHandle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &HttpDownload::TransferThread, this, 0,
                                                            nullptr));
    if (threadHandle == nullptr) {
        DWORD error = GetLastError();
        state = Finished;
        SetJobError(201000, error);
        return false;
    }
    SetJobError(0, 0);
    return true;
}

int HttpDownload::GetState()
{
    try {
        int current = Idle;
        CatchingFaults([&] {
            DownloadFaultPoint("GetState");
            current = state;
            if (current == Running)
                BoundSilence();
            if (current == Finished && transferResult != 0)
                jobError = transferResult;
        });
        return current;
    } catch (...) {
        jobError = 400000;
        state = Broken;
        return Broken;
    }
}

int HttpDownload::GetPercent()
{
    try {
        int percent = 0;
        CatchingFaults([&] {
            DownloadFaultPoint("GetPercent");
            if (state == Broken)
                return;
            jobError = 0;
            if (state != Running && state != Finished)
                return;
            bool beyond = false;
            percent = TransferPercent(receivedBytes, totalBytes, &beyond);
            if (beyond)
                jobError = 500000;
        });
        return percent;
    } catch (...) {
        jobError = 501000;
        state = Broken;
        return 0;
    }
}

int HttpDownload::GetResult()
{
    try {
        int result = 0;
        CatchingFaults([&] {
            Locked held(&lock);
            DownloadFaultPoint("GetResult");
            result = DownloadResult(stepError, jobError);
        });
        return result;
    } catch (...) {
        state = Broken;
        return 999000;
    }
}

void HttpDownload::SetLocalFileRules(bool createNew, ULONGLONG maxBytes)
{
    createNewFile = createNew;
    sizeLimit = maxBytes;
}
