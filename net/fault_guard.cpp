#include "net/fault_guard.h"

void (*volatile downloadFaultHook)(const char* operation) = nullptr;

#if defined(_MSC_VER)

// Built with /EHa, catch (...) already catches processor faults.
void CallCatchingFaults(void (*body)(void* context), void* context)
{
    body(context);
}

#elif defined(__x86_64__)

namespace {

bool IsProcessorFault(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_PRIV_INSTRUCTION:
        return true;
    default:
        // Stack overflow is left alone: there is no stack left to throw on.
        return false;
    }
}

}  // namespace

extern "C" {

void KuvanaThrowProcessorFault(DWORD64 code)
{
    throw ProcessorFault{DWORD(code)};
}

// A return address for the stack adjustment below: no unwind data, so the
// unwinder treats it as a leaf and finds the faulting frame's address above it.
void KuvanaFaultShim();

EXCEPTION_DISPOSITION KuvanaFaultFrameHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                              void* dispatch)
{
    (void)frame;
    (void)dispatch;
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
        !IsProcessorFault(record->ExceptionCode))
        return ExceptionContinueSearch;
    // Resume as if the faulting instruction had called the thrower: the
    // unwinder then walks from the fault through every frame up to the catch.
    // The address pushed lies inside the faulting instruction so that the
    // lookup of its handler tables lands on that instruction.
    context->Rsp -= 8;
    *reinterpret_cast<DWORD64*>(context->Rsp) = context->Rip + 1;
    if ((context->Rsp & 15) == 0) {
        // Keep the thrower's stack aligned as at any call.
        context->Rsp -= 8;
        *reinterpret_cast<DWORD64*>(context->Rsp) = reinterpret_cast<DWORD64>(&KuvanaFaultShim) + 5;
    }
    context->Rcx = record->ExceptionCode;
    context->Rip = reinterpret_cast<DWORD64>(&KuvanaThrowProcessorFault);
    return ExceptionContinueExecution;
}

void KuvanaCallWithFaultHandler(void (*body)(void*), void* context);

}  // extern "C"

// The guarded frame: calls body(context) with KuvanaFaultFrameHandler as its
// exception handler. The shim is "call thrower" (5 bytes) without unwind data.
asm(".text\n"
    "\t.p2align 4\n"
    "KuvanaFaultShim:\n"
    "\tcall KuvanaThrowProcessorFault\n"
    "\tud2\n"
    "\t.p2align 4\n"
    "\t.globl KuvanaCallWithFaultHandler\n"
    "\t.def KuvanaCallWithFaultHandler; .scl 2; .type 32; .endef\n"
    "\t.seh_proc KuvanaCallWithFaultHandler\n"
    "KuvanaCallWithFaultHandler:\n"
    "\tpushq %rbp\n"
    "\t.seh_pushreg %rbp\n"
    "\tsubq $32, %rsp\n"
    "\t.seh_stackalloc 32\n"
    "\t.seh_endprologue\n"
    "\t.seh_handler KuvanaFaultFrameHandler, @except\n"
    "\tmovq %rcx, %rax\n"
    "\tmovq %rdx, %rcx\n"
    "\tcall *%rax\n"
    "\tnop\n"
    "\taddq $32, %rsp\n"
    "\tpopq %rbp\n"
    "\tret\n"
    "\t.seh_endproc\n");

void CallCatchingFaults(void (*body)(void* context), void* context)
{
    KuvanaCallWithFaultHandler(body, context);
}

#else
#error "processor faults are caught on x86-64 (MinGW) and with MSVC's /EHa only"
#endif
