// What the download job's sources share: its fixed settings and the lock
// helpers around its error fields. Not for owners.
#ifndef KUVANA_NET_HTTP_DOWNLOAD_INTERNAL_H
#define KUVANA_NET_HTTP_DOWNLOAD_INTERNAL_H

#include <windows.h>
#include <wininet.h>

#include "net/fault_guard.h"

namespace download_job {

const char kAgent[] = "Kuvana Port Software Net Installer";
const DWORD kTimeout = 30000;
const DWORD kStopWait = 40000;
const DWORD kBufferSize = 10240;
// INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_HYPERLINK | INTERNET_FLAG_NO_UI |
// INTERNET_FLAG_PRAGMA_NOCACHE, and neither cookies nor a copy in the
// account's cache: a downloaded installer has no business there.
// Logon to servers is suppressed on each request (OpenRequest); company
// proxies keep theirs where WinINet can tell the two apart.
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

}  // namespace download_job

#endif
