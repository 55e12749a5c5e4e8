// Control requests to a reader that cannot hold up the installation: each one
// is given a fixed time, then cancelled and counted as failed.
#ifndef KUVANA_PROBE_BOUNDED_REQUEST_H
#define KUVANA_PROBE_BOUNDED_REQUEST_H

#include <windows.h>

// The longest a reader may take to answer one request.
const DWORD readerRequestTimeoutMs = 2000;

// The largest input and reply any reader request carries.
const DWORD readerRequestMaxInput = 4;
const DWORD readerRequestMaxReply = 128;

enum class RequestOutcome { ok, failed, timedOut };

// One control request on a handle opened for overlapped I/O (a handle opened
// without it works too: the call then simply returns when done). The reply is
// zero-filled first and keeps zeros unless the request succeeds. On failure
// the thread's last error holds the request's error; a request that did not
// finish in time is cancelled and fails with ERROR_SEM_TIMEOUT.
RequestOutcome BoundedRequest(HANDLE handle, DWORD code, const void* input, DWORD inputSize, void* reply,
                              DWORD replySize);

#endif
