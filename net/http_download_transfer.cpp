// The transfer thread: the request, the response's head and the body into
// the local file.
#include "net/http_download.h"

#include <cstring>

#include "net/download_logic.h"
#include "net/http_download_internal.h"

using namespace download_job;

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
    // Once the end was asked for: the stop's own end, or a receive time-out
    // when the owner's poll ended a silent transfer.
    auto stopped = [&] {
        *error = silenceEnded ? ERROR_INTERNET_TIMEOUT : 0;
        return silenceEnded ? 308000 : 307000;
    };
    // A call on the request that fails once the end was asked for failed
    // because the request was closed under it.
    auto failed = [&](int code) {
        const DWORD last = GetLastError();
        if (stopRequested)
            return stopped();
        *error = last;
        return code;
    };
    DownloadFaultPoint("TransferThread");
    if (!HttpSendRequestA(requestHandle, nullptr, 0, nullptr, 0))
        return failed(302000);
    progressTick = GetTickCount();
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(requestHandle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return failed(303000);
    httpStatus = LONG(status);
    if (status >= 400)
        return 304000;
    // Only a plain 200 carries the whole file: another 2xx (a part, no body,
    // a transformed copy) or a final 1xx or 3xx is not saved as one.
    if (status != 200)
        return 314000;
    // Read as text: the numeric query gives 32 bits, and an installer may
    // pass 4 GiB.
    char lengthText[32] = {};
    size = sizeof lengthText;
    if (!HttpQueryInfoA(requestHandle, HTTP_QUERY_CONTENT_LENGTH, lengthText, &size, nullptr))
        return failed(305000);
    ULONGLONG length = 0;
    if (!ParseContentLength(lengthText, &length)) {
        // The query succeeded, so the header itself is at fault.
        *error = ERROR_HTTP_INVALID_HEADER;
        return 305000;
    }
    if (length > sizeLimit)
        return 306000;
    totalBytes = length;
    ULONGLONG count = 0;
    TransferPace pace = StartPace(GetTickCount());
    char buffer[kBufferSize];
    for (;;) {
        if (stopRequested)
            return stopped();
        // Waits for the next data (bounded by the receive time-out): a
        // synchronous read of a whole buffer would block until the buffer is
        // full, and the pace below could never be checked against a trickling
        // server.
        DWORD available = 0;
        if (!InternetQueryDataAvailable(requestHandle, &available, 0, 0))
            return failed(308000);
        // No data without a failure means the body has ended: short of the
        // Content-Length, the file is incomplete.
        if (available == 0)
            return 309000;
        // What the query announced has come: it is read in whole buffers,
        // none of which waits, before the next query.
        while (available > 0) {
            if (stopRequested)
                return stopped();
            std::memset(buffer, 0, sizeof buffer);
            DWORD got = 0;
            DownloadFaultPoint("TransferThread.read");
            if (!InternetReadFile(requestHandle, buffer, available < kBufferSize - 1 ? available : kBufferSize - 1,
                                  &got))
                return failed(308000);
            if (got == 0)
                return 309000;
            available -= got < available ? got : available;
            if (got > sizeLimit - count)
                return 306000;
            DWORD written = 0;
            if (!WriteFile(fileHandle, buffer, got, &written, nullptr) || written != got) {
                *error = GetLastError();
                return 310000;
            }
            count += got;
            receivedBytes = count;
            progressTick = GetTickCount();
            if (count >= totalBytes) {
                DownloadFaultPoint("TransferThread.close");
                // The handle is spent whether or not the close succeeds, so
                // the result reaches the owner and a later Stop has nothing to
                // close.
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
}
