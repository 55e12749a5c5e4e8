#include "probe/bounded_request.h"

#include <cstring>
#include <new>

#include "common/win_handles.h"

namespace {

// Everything the system may still write to while a request is under way. It
// lives on the heap so that a request the driver never lets go of, even after
// its cancellation, can be abandoned without its memory being reused.
struct RequestSpace {
    OVERLAPPED overlapped;
    unsigned char input[readerRequestMaxInput];
    unsigned char reply[readerRequestMaxReply];
};

typedef BOOL(WINAPI* CancelIoExFn)(HANDLE, LPOVERLAPPED);

// CancelIoEx arrived with Windows 6.0; a static import would keep the module
// from loading on Windows XP. There CancelIo does the same for this thread's
// own request, the only one on the handle.
void CancelRequest(HANDLE handle, OVERLAPPED* overlapped)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC address = kernel != nullptr ? GetProcAddress(kernel, "CancelIoEx") : nullptr;
    CancelIoExFn cancelIoEx = nullptr;
    static_assert(sizeof cancelIoEx == sizeof address, "function pointers differ in size");
    std::memcpy(&cancelIoEx, &address, sizeof cancelIoEx);
    if (cancelIoEx != nullptr)
        cancelIoEx(handle, overlapped);
    else
        CancelIo(handle);
}

}  // namespace

RequestOutcome BoundedRequest(HANDLE handle, DWORD code, const void* input, DWORD inputSize, void* reply,
                              DWORD replySize)
{
    if (reply != nullptr)
        std::memset(reply, 0, replySize);
    if (inputSize > readerRequestMaxInput || replySize > readerRequestMaxReply || (input == nullptr && inputSize != 0) ||
        (reply == nullptr && replySize != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return RequestOutcome::failed;
    }
    RequestSpace* space = new (std::nothrow) RequestSpace;
    DeviceHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (space == nullptr || !event.Valid()) {
        delete space;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return RequestOutcome::failed;
    }
    std::memset(space, 0, sizeof *space);
    if (inputSize != 0)
        std::memcpy(space->input, input, inputSize);
    space->overlapped.hEvent = event.Get();

    DWORD returned = 0;
    BOOL done = DeviceIoControl(handle, code, inputSize != 0 ? space->input : nullptr, inputSize,
                                replySize != 0 ? space->reply : nullptr, replySize, &returned, &space->overlapped);
    RequestOutcome outcome = RequestOutcome::ok;
    DWORD error = ERROR_SUCCESS;
    if (!done) {
        error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            outcome = RequestOutcome::failed;
        } else if (WaitForSingleObject(event.Get(), readerRequestTimeoutMs) == WAIT_OBJECT_0) {
            done = GetOverlappedResult(handle, &space->overlapped, &returned, FALSE);
            error = done ? ERROR_SUCCESS : GetLastError();
            outcome = done ? RequestOutcome::ok : RequestOutcome::failed;
        } else {
            CancelRequest(handle, &space->overlapped);
            // The cancellation itself completes the request; a driver that
            // ignores it keeps the request space, which is then abandoned.
            if (WaitForSingleObject(event.Get(), readerRequestTimeoutMs) != WAIT_OBJECT_0) {
                event.Release();  // the request it signals may still complete
                SetLastError(ERROR_SEM_TIMEOUT);
                return RequestOutcome::timedOut;
            }
            done = GetOverlappedResult(handle, &space->overlapped, &returned, FALSE);
            // An answer that came in just as time ran out still counts.
            outcome = done ? RequestOutcome::ok : RequestOutcome::timedOut;
            error = done ? ERROR_SUCCESS : ERROR_SEM_TIMEOUT;
        }
    }
    if (outcome == RequestOutcome::ok && replySize != 0)
        std::memcpy(reply, space->reply, replySize);
    delete space;
    SetLastError(error);
    return outcome;
}
