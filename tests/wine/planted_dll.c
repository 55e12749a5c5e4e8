/* Stands for a DLL planted beside the setup program (as newdev.dll and the
 * like): loaded, it leaves "<its own path>.loaded" beside itself. It exports
 * what the program took from newdev.dll, so a program importing that loads. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 8];
        DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcatW(path, L".loaded");
            HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (mark != INVALID_HANDLE_VALUE)
                CloseHandle(mark);
        }
    }
    return TRUE;
}

BOOL WINAPI PlantedUpdateDriverA(HWND parent, LPCSTR id, LPCSTR inf, DWORD flags, PBOOL reboot)
{
    (void)parent, (void)id, (void)inf, (void)flags, (void)reboot;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

BOOL WINAPI PlantedUpdateDriverW(HWND parent, LPCWSTR id, LPCWSTR inf, DWORD flags, PBOOL reboot)
{
    (void)parent, (void)id, (void)inf, (void)flags, (void)reboot;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}
