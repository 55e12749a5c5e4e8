// Downloads the net installer into a working folder of its own and starts it
// without waiting for it. It runs on the property sheet's own thread, so
// the sheet's messages are handled while it waits.
#include "install/net_installer.h"

#include <process.h>

#include <string>

#include "install/command_lines.h"
#include "install/download_step.h"
#include "install/temp_folder.h"
#include "install/trusted_start.h"
#include "install/work_folder.h"
#include "net/http_download.h"
#include "probe/win_handles.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"

#include <prsht.h>

namespace {

const DWORD kPollMilliseconds = 100;

// A handle on a file without data access that keeps it from being deleted.
HANDLE HoldFile(const std::string& path)
{
    return CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Waits one polling period, or until `done` (may be null) is signalled, while
// handling the thread's window messages, so the property sheet this runs
// under keeps painting and answering. A WM_QUIT is put back for the loop it
// belongs to, and from then on the wait only sleeps.
void WaitHandlingMessages(HWND pageWindow, bool* quitSeen, HANDLE done)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (!*quitSeen && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                *quitSeen = true;
                PostQuitMessage(int(message.wParam));
                break;
            }
            HWND sheet = GetParent(pageWindow);
            if (sheet != nullptr && PropSheet_IsDialogMessage(sheet, &message))
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kPollMilliseconds)
            return;
        const DWORD handles = done != nullptr ? 1 : 0;
        DWORD woke;
        if (*quitSeen)
            woke = WaitForMultipleObjects(handles, &done, FALSE, kPollMilliseconds - elapsed);
        else
            woke = MsgWaitForMultipleObjects(handles, &done, FALSE, kPollMilliseconds - elapsed, QS_ALLINPUT);
        if (handles == 1 && woke == WAIT_OBJECT_0)
            return;
    }
}

// The signature check and the start, on a thread of their own: fetching
// revocation data can take many seconds, and the sheet must go on answering.
struct CheckedStart {
    std::string path;
    std::string tempFolder;
    StartResult result = StartResult::NotStarted;
};

unsigned __stdcall CheckAndStart(void* argument)
{
    CheckedStart& start = *static_cast<CheckedStart*>(argument);
    try {
        ProcessHandles process;
        start.result = StartTrustedProgram(start.path, ProgramCommandLine(start.path), start.tempFolder, process);
    } catch (...) {
        start.result = StartResult::NotStarted;
    }
    return 0;
}

StartResult CheckAndStartAnswering(HWND pageWindow, CheckedStart& start, bool* quitSeen)
{
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CheckAndStart, &start, 0, nullptr));
    if (thread == nullptr) {
        CheckAndStart(&start);
        return start.result;
    }
    while (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT)
        WaitHandlingMessages(pageWindow, quitSeen, thread);
    CloseHandle(thread);
    return start.result;
}

}  // namespace

void NetInstallerLauncher(HWND pageWindow, const char* url)
{
    // Earlier launches' folders go once their installers have let go of them.
    RemoveStaleWorkFolders(kNetInstallerFolderPrefix, kNetInstallerSubfolder, kNetInstallerFileName);
    WorkFolder folder(kNetInstallerFolderPrefix);
    // Declared after the folder: the job lets go of its file before the
    // folder is removed.
    HttpDownload job;
    // Without a working folder the path stays empty and Start fails: nothing
    // is written anywhere else, nor started from there.
    const std::string programFolder = folder.MakeSubfolder(kNetInstallerSubfolder);
    const std::string localPath = programFolder.empty() ? std::string() : NetInstallerPath(programFolder);
    job.SetLocalFileRules(true, kMaxInstallerBytes);
    job.Start(url, localPath.c_str());
    // Held from its creation until its start has returned, so another
    // launch's clean-up cannot delete it in between. No data access: the
    // job's writing and the check's reading go on beside it.
    DeviceHandle hold;
    bool quitSeen = false;
    if (job.GetState() == HttpDownload::Prepared) {
        hold.Reset(HoldFile(localPath));
        job.Run();
        while (job.GetState() != HttpDownload::Finished)
            WaitHandlingMessages(pageWindow, &quitSeen, nullptr);
    } else {
        job.jobError = 200000;
    }
    // A download the maker did not sign is reported as a failed download and
    // goes with its folder. One that is started is let go: the net installer
    // carries on by itself, from its folder, which a later launch removes once
    // it has ended.
    StartResult result = StartResult::Refused;
    if (job.GetResult() == 0) {
        CheckedStart start;
        start.path = localPath;
        start.tempFolder = folder.MakeSubfolder(TempSubfolderName(kNetInstallerSubfolder));
        result = CheckAndStartAnswering(pageWindow, start, &quitSeen);
    }
    hold.Close();
    if (result == StartResult::Started) {
        folder.Keep();
    } else if (result == StartResult::Refused) {
        char text[kStringBufferSize];
        LoadModuleStringInto(IDS_DOWNLOAD_RETRY, text);
        MessageBoxA(pageWindow, text, nullptr, MB_OK);
    }
}
