// One HTTP(S) GET of one URL into one local file, on a transfer thread of its own.
// The owner starts it, polls GetState/GetPercent every 100 ms until Finished,
// then reads GetResult (0 = the file is complete).
#ifndef KUVANA_NET_HTTP_DOWNLOAD_H
#define KUVANA_NET_HTTP_DOWNLOAD_H

#include <windows.h>
#include <wininet.h>

class HttpDownload {
public:
    enum State { Idle = 0, Prepared = 1, Running = 2, Finished = 3, Broken = 4 };

    HttpDownload();
    ~HttpDownload();
    HttpDownload(const HttpDownload&) = delete;
    HttpDownload& operator=(const HttpDownload&) = delete;

    bool Start(const char* url, const char* localPath);
    bool Run();
    int GetState();
    int GetPercent();
    int GetResult();
    int Stop(bool terminate);

    // Rules for the local file, set before Start and kept across Stop.
    // createNew: the file must not exist yet (CREATE_NEW), so a file someone
    // else put there is never written into. maxBytes: a response announcing
    // or delivering more fails the transfer with 306000. 0 is a bound too:
    // only an empty file. Without these rules, or with kNoSizeBound, any size.
    void SetLocalFileRules(bool createNew, ULONGLONG maxBytes);
    static constexpr ULONGLONG kNoSizeBound = ~0ull;

    // The status code of the server's last response, 0 before one came: a
    // report can then say 403 or 404 where the result says only "refused".
    int GetHttpStatus() const { return int(httpStatus); }

private:
    friend class HttpDownloadInspector;  // white-box access for the tests

    int CreateLocalFile(const char* path);
    int CrackUrl(const char* url, int* scheme, char* host, char* path, INTERNET_PORT* port);
    // secure: HTTPS (INTERNET_FLAG_SECURE on the request).
    int OpenRequest(const char* host, const char* path, INTERNET_PORT port, bool secure);
    int SetTimeouts(HINTERNET handle, DWORD milliseconds);
    static unsigned __stdcall TransferThread(void* job);

    bool StartJob(const char* url, const char* localPath);
    int StopJob(bool terminate);
    // Stop's first step: asks the thread to end and closes the request under
    // it; false (with the close's error) when the close failed.
    bool AskThreadToEnd(DWORD* error);
    // The owner's poll bounds what the thread cannot: no progress within the
    // slow-transfer window ends the request as a receive time-out.
    void BoundSilence();
    int Transfer(DWORD* error);

    void SetJobError(int code, DWORD error);
    void SetStepError(int code, DWORD error);
    void SetTransferResult(int code, DWORD error);
    void SetSystemError(DWORD error);
    void BreakInSetter();

    CRITICAL_SECTION lock;
    volatile LONG state;
    // 64-bit: an installer may pass 4 GiB. Aligned, so the owner reads each
    // in one access on the 64-bit platforms the job is built for.
    volatile ULONGLONG totalBytes;
    volatile ULONGLONG receivedBytes;
    volatile LONG transferResult;
    volatile LONG systemError;
    char url[512];
    char localPath[260];
    volatile BYTE stopRequested;
    HINTERNET requestHandle;
    HANDLE fileHandle;
    HANDLE threadHandle;
    HINTERNET internetHandle;
    HINTERNET connectionHandle;

public:
    // The one field owners write directly: 200000 when Start did not leave the
    // job Prepared.
    volatile LONG jobError;

private:
    volatile LONG stepError;
    bool createNewFile;
    ULONGLONG sizeLimit;
    // Tick count of the transfer's last progress: its start, the end of the
    // request, each read that brought data.
    volatile DWORD progressTick;
    // Set when the owner's poll ended a silent transfer.
    volatile BYTE silenceEnded;
    volatile LONG httpStatus;
};

#endif
