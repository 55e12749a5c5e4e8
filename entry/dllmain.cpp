// Library entry routine: records the instance handle; thread notifications are
// not wanted (nothing here keeps per-thread state).
#include <windows.h>

#include "resources/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        moduleInstance = nullptr;
    }
    return TRUE;
}
