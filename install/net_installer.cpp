// Downloads the net installer into a working folder of its own and starts it
// without waiting for it. It runs on the property sheet's own thread, so
// the sheet's messages are handled while it waits.
#include "install/net_installer.h"

#include "install/command_lines.h"
#include "install/temp_folder.h"
#include "install/trusted_start.h"
#include "install/work_folder.h"
#include "net/http_download.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"

#include <prsht.h>

namespace {

const DWORD kPollMilliseconds = 100;

// Waits one polling period while handling the thread's window messages, so
// the property sheet this runs under keeps painting and answering. A WM_QUIT
// is put back for the loop it belongs to, and from then on the wait only sleeps.
void WaitHandlingMessages(HWND pageWindow, bool* quitSeen)
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
        if (*quitSeen)
            Sleep(kPollMilliseconds - elapsed);
        else
            MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMilliseconds - elapsed, QS_ALLINPUT);
    }
}

}  // namespace

void NetInstallerLauncher(HWND pageWindow, const char* url)
{
    // Earlier launches' folders go once their installers have let go of them.
    RemoveStaleWorkFolders(kNetInstallerFolderPrefix, kNetInstallerFileName);
    WorkFolder folder(kNetInstallerFolderPrefix);
    // Declared after the folder: the job lets go of its file before the
    // folder is removed.
    HttpDownload job;
    // Without a working folder the path stays empty and Start fails: nothing
    // is written anywhere else, nor started from there.
    const std::string localPath = folder.Created() ? NetInstallerPath(folder.Path()) : std::string();
    job.SetLocalFileRules(true, 0);
    job.Start(url, localPath.c_str());
    if (job.GetState() == HttpDownload::Prepared) {
        job.Run();
        bool quitSeen = false;
        while (job.GetState() != HttpDownload::Finished)
            WaitHandlingMessages(pageWindow, &quitSeen);
    } else {
        job.jobError = 200000;
    }
    // A download the maker did not sign is deleted and reported as a failed
    // download. One that is started is let go: the net installer carries on
    // by itself, from its folder, which a later launch removes once it has ended.
    ProcessHandles process;
    const StartResult result = job.GetResult() != 0
                                   ? StartResult::Refused
                                   : StartTrustedProgram(localPath, ProgramCommandLine(localPath), process);
    if (result == StartResult::Started) {
        folder.Keep();
    } else if (result == StartResult::Refused) {
        char text[kStringBufferSize];
        LoadModuleStringInto(IDS_DOWNLOAD_RETRY, text);
        MessageBoxA(pageWindow, text, nullptr, MB_OK);
    }
}
