#include "net/http_download.h"

#include <process.h>

#include <cstring>

#include "net/download_logic.h"
#include "net/fault_guard.h"

namespace {

const char kAgent[] = "Kuvana Port Software Net Installer";
const DWORD kTimeout = 30000;
const DWORD kStopWait = 40000;
const DWORD kBufferSize = 10240;
// INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_HYPERLINK | INTERNET_FLAG_NO_UI |
// INTERNET_FLAG_PRAGMA_NOCACHE, and neither cookies nor a copy in the
// account's cache: a downloaded installer has no business there.
// Automatic authentication stays: company proxies need it.
const DWORD kRequestFlags = 0xF00 | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_CACHE_WRITE;

class Locked {
public:
    explicit Locked(CRITICAL_SECTION* lock) : lock_(lock) { EnterCriticalSection(lock_); }
    ~Locked() { LeaveCriticalSection(lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION* lock_;
};

// Runs store under the lock; false when it raised (the lock is released).
template <class Store>
bool StoreLocked(CRITICAL_SECTION* lock, const char* name, Store store)
{
    try {
        CatchingFaults([&] {
            Locked held(lock);
            DownloadFaultPoint(name);
            store();
        });
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

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
      sizeLimit(0)
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

void HttpDownload::SetLocalFileRules(bool createNew, DWORD maxBytes)
{
    createNewFile = createNew;
    sizeLimit = maxBytes;
}

// ---- internal steps ----------------------------------------------------------

int HttpDownload::CreateLocalFile(const char* path)
{
    try {
        int code = 0;
        CatchingFaults([&] {
            DownloadFaultPoint("CreateLocalFile");
            fileHandle = CreateFileA(path, GENERIC_WRITE, 0, nullptr, createNewFile ? CREATE_NEW : CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
            if (fileHandle == INVALID_HANDLE_VALUE) {
                SetStepError(500, GetLastError());
                code = 500;
                return;
            }
            DownloadFaultPoint("CreateLocalFile.created");
            SetStepError(0, 0);
        });
        return code;
    } catch (...) {
        DWORD error = GetLastError();
        if (fileHandle != INVALID_HANDLE_VALUE) {
            CloseHandle(fileHandle);
            fileHandle = INVALID_HANDLE_VALUE;
        }
        SetStepError(501, error);
        return 501;
    }
}

int HttpDownload::CrackUrl(const char* text, int* scheme, char* host, char* path, INTERNET_PORT* port)
{
    try {
        int code = 0;
        CatchingFaults([&] {
            DownloadFaultPoint("CrackUrl");
            if (text == nullptr || scheme == nullptr || host == nullptr || path == nullptr || port == nullptr) {
                stepError = 400;
                code = 400;
                return;
            }
            char schemeName[512] = {};
            char hostName[512] = {};
            char userName[512] = {};
            char password[512] = {};
            char urlPath[512] = {};
            char extraInfo[512] = {};
            URL_COMPONENTSA parts;
            std::memset(&parts, 0, sizeof parts);
            parts.dwStructSize = sizeof parts;
            parts.lpszScheme = schemeName;
            parts.dwSchemeLength = sizeof schemeName;
            parts.lpszHostName = hostName;
            parts.dwHostNameLength = sizeof hostName;
            parts.lpszUserName = userName;
            parts.dwUserNameLength = sizeof userName;
            parts.lpszPassword = password;
            parts.dwPasswordLength = sizeof password;
            parts.lpszUrlPath = urlPath;
            parts.dwUrlPathLength = sizeof urlPath;
            parts.lpszExtraInfo = extraInfo;
            parts.dwExtraInfoLength = sizeof extraInfo;
            if (!InternetCrackUrlA(text, 0, ICU_ESCAPE, &parts)) {
                SetStepError(401, GetLastError());
                code = 401;
                return;
            }
            *scheme = parts.nScheme;
            if (!CopyBounded(host, 512, hostName)) {
                SetStepError(402, 0);
                code = 402;
                return;
            }
            if (!CopyBounded(path, 512, urlPath)) {
                SetStepError(403, 0);
                code = 403;
                return;
            }
            // User name, password and the query are not used: the request
            // names the path alone and sends no credentials.
            *port = parts.nPort;
            SetStepError(0, 0);
        });
        return code;
    } catch (...) {
        SetStepError(404, DWORD(systemError));
        return 404;
    }
}

int HttpDownload::OpenRequest(const char* host, const char* path, INTERNET_PORT port, bool secure)
{
    try {
        int code = 0;
        CatchingFaults([&] {
            DownloadFaultPoint("OpenRequest");
            if (internetHandle != nullptr || connectionHandle != nullptr || requestHandle != nullptr ||
                url[0] == '\0') {
                stepError = 300;
                code = 300;
                return;
            }
            if (host == nullptr || path == nullptr) {
                stepError = 301;
                code = 301;
                return;
            }
            if (host[0] == '\0' || path[0] == '\0') {
                stepError = 302;
                code = 302;
                return;
            }
            internetHandle = InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
            if (internetHandle == nullptr) {
                SetStepError(303, GetLastError());
                code = 303;
                return;
            }
            if (SetTimeouts(internetHandle, kTimeout) != 0) {
                SetStepError(304, 0);
                code = 304;
            }
            if (code == 0) {
                connectionHandle = InternetConnectA(internetHandle, host, port, nullptr, nullptr,
                                                    INTERNET_SERVICE_HTTP, 0, 0);
                if (connectionHandle == nullptr) {
                    SetStepError(305, GetLastError());
                    code = 305;
                }
            }
            if (code == 0 && SetTimeouts(connectionHandle, kTimeout) != 0) {
                SetStepError(306, 0);
                code = 306;
            }
            if (code == 0) {
                DWORD flags = kRequestFlags | (secure ? INTERNET_FLAG_SECURE : 0);
                requestHandle = HttpOpenRequestA(connectionHandle, "GET", path, nullptr, nullptr, nullptr, flags, 0);
                if (requestHandle == nullptr) {
                    SetStepError(307, GetLastError());
                    code = 307;
                }
            }
            if (code == 0 && SetTimeouts(requestHandle, kTimeout) != 0) {
                SetStepError(308, 0);
                code = 308;
            }
            if (code == 0) {
                SetStepError(0, 0);
                return;
            }
            // Clean-up: the step code set above stays.
            HINTERNET* handles[] = {&requestHandle, &connectionHandle, &internetHandle};
            for (HINTERNET* handle : handles) {
                if (*handle == nullptr)
                    continue;
                if (InternetCloseHandle(*handle))
                    *handle = nullptr;
                else
                    SetSystemError(GetLastError());
            }
        });
        return code;
    } catch (...) {
        SetStepError(309, DWORD(systemError));
        return 309;
    }
}

int HttpDownload::SetTimeouts(HINTERNET handle, DWORD milliseconds)
{
    (void)milliseconds;  // every caller passes kTimeout; kTimeout is what applies
    try {
        int code = 0;
        CatchingFaults([&] {
            DownloadFaultPoint("SetTimeouts");
            if (handle == nullptr) {
                stepError = 200;
                code = 200;
                return;
            }
            const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                                     INTERNET_OPTION_RECEIVE_TIMEOUT};
            const int codes[] = {201, 202, 203};
            for (int i = 0; i < 3; ++i) {
                DWORD value = kTimeout;
                if (!InternetSetOptionA(handle, options[i], &value, sizeof value)) {
                    SetStepError(codes[i], GetLastError());
                    code = codes[i];
                    return;
                }
            }
            SetStepError(0, 0);
        });
        return code;
    } catch (...) {
        SetStepError(204, GetLastError());
        return 204;
    }
}

// ---- the transfer ------------------------------------------------------------

unsigned __stdcall HttpDownload::TransferThread(void* argument)
{
    HttpDownload* job = static_cast<HttpDownload*>(argument);
    if (job == nullptr)
        return 300000;
    DWORD error = 0;
    int result = 0;
    if (job->requestHandle == nullptr || job->fileHandle == INVALID_HANDLE_VALUE) {
        result = 301000;
    } else {
        try {
            CatchingFaults([&] { result = job->Transfer(&error); });
        } catch (...) {
            result = 312000;
            error = GetLastError();
        }
    }
    if (job->fileHandle != INVALID_HANDLE_VALUE) {
        if (!CloseHandle(job->fileHandle)) {
            result = 999000;
            error = GetLastError();
        }
        // Invalid whatever the close gave: closing the value again could
        // close a handle someone else has been given since.
        job->fileHandle = INVALID_HANDLE_VALUE;
    }
    job->SetTransferResult(result, error);
    job->state = Finished;
    return unsigned(result);
}

int HttpDownload::Transfer(DWORD* error)
{
    // A call on the request that fails once Stop has asked for the end failed
    // because Stop closed the request under it: that is the stop's own end.
    auto failed = [&](int code) {
        const DWORD last = GetLastError();
        if (stopRequested) {
            *error = 0;
            return 307000;
        }
        *error = last;
        return code;
    };
    DownloadFaultPoint("TransferThread");
    if (!HttpSendRequestA(requestHandle, nullptr, 0, nullptr, 0))
        return failed(302000);
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(requestHandle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return failed(303000);
    if (status >= 400)
        return 304000;
    DWORD length = 0;
    size = sizeof length;
    if (!HttpQueryInfoA(requestHandle, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size,
                        nullptr))
        return failed(305000);
    if (sizeLimit != 0 && length > sizeLimit)
        return 306000;
    totalBytes = length;
    DWORD count = 0;
    TransferPace pace = StartPace(GetTickCount());
    for (;;) {
        if (stopRequested)
            return 307000;
        char buffer[kBufferSize];
        std::memset(buffer, 0, sizeof buffer);
        DWORD got = 0;
        DownloadFaultPoint("TransferThread.read");
        // Waits for the next data (bounded by the receive time-out), then
        // reads only what has come: a synchronous read of a whole buffer would
        // block until the buffer is full, and the pace below could never be
        // checked against a trickling server.
        DWORD available = 0;
        if (!InternetQueryDataAvailable(requestHandle, &available, 0, 0))
            return failed(308000);
        if (available > 0 &&
            !InternetReadFile(requestHandle, buffer, available < kBufferSize - 1 ? available : kBufferSize - 1,
                              &got))
            return failed(308000);
        // No data without a failure means the body has ended: short of the
        // Content-Length, the file is incomplete.
        if (got == 0)
            return 309000;
        if (sizeLimit != 0 && got > sizeLimit - count)
            return 306000;
        DWORD written = 0;
        if (!WriteFile(fileHandle, buffer, got, &written, nullptr) || written != got) {
            *error = GetLastError();
            return 310000;
        }
        count += got;
        receivedBytes = count;
        if (count >= totalBytes) {
            DownloadFaultPoint("TransferThread.close");
            // The handle is spent whether or not the close succeeds, so the
            // result reaches the owner and a later Stop has nothing to close.
            const BOOL closed = CloseHandle(fileHandle);
            const DWORD closeError = GetLastError();
            fileHandle = INVALID_HANDLE_VALUE;
            if (!closed) {
                *error = closeError;
                return 311000;
            }
            return 0;
        }
        if (TooSlow(&pace, GetTickCount(), got)) {
            *error = ERROR_INTERNET_TIMEOUT;
            return 308000;
        }
    }
}
