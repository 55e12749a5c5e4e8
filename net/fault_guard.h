// Turns processor faults (access violations, divisions by zero, ...) raised
// inside a guarded call into a C++ exception thrown at the faulting
// instruction, so that an ordinary catch (...) around the call sees them and
// destructors between the fault and the catch still run.
//
// MSVC builds get this from /EHa. MinGW's g++ has no __try/__except: there the
// call runs below a small frame with an exception handler of its own; inner
// handlers (the system's own) see a fault first, and a fault nobody below
// handles resumes as a call to a function that throws ProcessorFault. Code that
// may fault inside the call must be built with -fnon-call-exceptions.
#ifndef KUVANA_NET_FAULT_GUARD_H
#define KUVANA_NET_FAULT_GUARD_H

#include <windows.h>

#include <type_traits>

struct ProcessorFault {
    DWORD code;
};

// Runs body(context); a processor fault inside it leaves as ProcessorFault.
void CallCatchingFaults(void (*body)(void* context), void* context);

template <class Body>
void CatchingFaults(Body&& body)
{
    using Callable = std::remove_reference_t<Body>;
    CallCatchingFaults([](void* context) { (*static_cast<Callable*>(context))(); }, &body);
}

// Test-only hook: when set, every operation of the download job calls it with
// its own name ("Start", "TransferThread", ...) inside its guarded part, so a
// test can make that operation fault or throw. Null in the product.
extern void (*volatile downloadFaultHook)(const char* operation);

inline void DownloadFaultPoint(const char* operation)
{
    void (*hook)(const char*) = downloadFaultHook;
    if (hook != nullptr)
        hook(operation);
}

#endif
