// Downloads the signed URL list and then the net installer into a working
// folder of its own, and starts the installer, without waiting for it, only
// when it is the file the accepted release names. It runs on the property
// sheet's own thread, so the sheet's messages are handled while it waits.
#include "install/net_installer.h"

#include <process.h>

#include <functional>
#include <memory>
#include <string>

#include "common/path_text.h"
#include "common/win_handles.h"
#include "install/command_lines.h"
#include "install/download_step.h"
#include "install/settings.h"
#include "net/http_download.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"
#include "trust/release_signature.h"
#include "trust/trusted_start.h"
#include "trust/url_list.h"
#include "trust/verified_release.h"
#include "workfolder/temp_folder.h"
#include "workfolder/work_folder.h"

#include <prsht.h>

namespace {

const DWORD kPollMilliseconds = 100;

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

// The checks and the start, on a thread of their own: fetching revocation
// data can take many seconds, and the sheet must go on answering.
unsigned __stdcall RunWork(void* argument)
{
    std::function<void()>& work = *static_cast<std::function<void()>*>(argument);
    try {
        work();
    } catch (...) {
        // Out of memory: `work` leaves its result at its failure value.
    }
    return 0;
}

void RunAnswering(HWND pageWindow, std::function<void()> work, bool* quitSeen)
{
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RunWork, &work, 0, nullptr));
    if (thread == nullptr) {
        RunWork(&work);
        return;
    }
    while (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT)
        WaitHandlingMessages(pageWindow, quitSeen, thread);
    CloseHandle(thread);
}

// One download into `localPath` (empty: it fails at Start), at most
// `maxBytes`, polled while the sheet's messages are handled. True when the
// file is complete.
bool DownloadAnswering(HWND pageWindow, HttpDownload& job, const std::string& url, const std::string& localPath,
                       unsigned long long maxBytes, bool* quitSeen)
{
    job.SetLocalFileRules(true, maxBytes);
    job.Start(url.c_str(), localPath.c_str());
    if (job.GetState() != HttpDownload::Prepared) {
        job.jobError = 200000;
        return false;
    }
    job.Run();
    while (job.GetState() != HttpDownload::Finished)
        WaitHandlingMessages(pageWindow, quitSeen, nullptr);
    return job.GetResult() == 0;
}

std::string ListAddress(bool japanese, ListSource& source)
{
    // The same list the install sequence would take on this system.
    const std::string setting = ReadUrlListSetting();
    source = setting.empty() ? ListSource::DefaultAddress : ListSource::ConfiguredAddress;
    return setting.empty() ? DefaultUrlListAddress(japanese) : setting;
}

// The accepted release for this system, fetched into `folder`; null when the
// list or its signature cannot be fetched or the list is refused.
std::unique_ptr<VerifiedRelease> FetchRelease(HWND pageWindow, const std::string& folder, bool* quitSeen)
{
    const bool japanese = GetSystemDefaultLangID() == 0x0411;
    ListSource source = ListSource::DefaultAddress;
    const std::string listUrl = ListAddress(japanese, source);
    const std::string listName = PlainFileNameFromUrl(listUrl);
    if (folder.empty() || listName.empty())
        return nullptr;
    const std::string listPath = DownloadPath(folder, listName);
    const std::string signaturePath = DownloadPath(folder, SignatureName(listName));
    HttpDownload listJob;
    HttpDownload signatureJob;
    if (!DownloadAnswering(pageWindow, listJob, listUrl, listPath, kMaxUrlListBytes, quitSeen) ||
        !DownloadAnswering(pageWindow, signatureJob, SignatureAddress(listUrl), signaturePath, kMaxSignatureBytes,
                           quitSeen))
        return nullptr;
    std::unique_ptr<VerifiedRelease> release;
    RunAnswering(pageWindow, [&] {
        release.reset(new VerifiedRelease(listPath, signaturePath, japanese, source));
    }, quitSeen);
    // Only the checked bytes are used from here on; a launch's folder keeps
    // nothing but the net installer and its temporary folder.
    DeleteFileA(listPath.c_str());
    DeleteFileA(signaturePath.c_str());
    if (release == nullptr || !release->Accepted())
        return nullptr;
    return release;
}

}  // namespace

void NetInstallerLauncher(HWND pageWindow, const char* url)
{
    // Earlier launches' folders go once their installers have let go of them.
    RemoveStaleWorkFolders(kNetInstallerFolderPrefix, kNetInstallerSubfolder, kNetInstallerFileName);
    WorkFolder folder(kNetInstallerFolderPrefix);
    bool quitSeen = false;
    StartResult result = StartResult::Refused;
    {
        // Declared after the folder: the jobs let go of their files before the
        // folder is removed.
        HttpDownload job;
        const std::unique_ptr<VerifiedRelease> release = FetchRelease(pageWindow, folder.Path(), &quitSeen);
        // Without a working folder the path stays empty and Start fails:
        // nothing is written anywhere else, nor started from there.
        const std::string programFolder = release ? folder.MakeSubfolder(kNetInstallerSubfolder) : std::string();
        const std::string localPath = programFolder.empty() ? std::string() : NetInstallerPath(programFolder);
        const ReleaseFile expected = release ? release->Lines().files[NetExe] : ReleaseFile();
        // No more than the release names for the net installer.
        job.SetLocalFileRules(true, expected.size);
        job.Start(url != nullptr && release ? url : "", localPath.c_str());
        // Held from its creation, so that no other launch's clean-up deletes
        // it: while the job writes, beside the job (which shares reading);
        // from the end of the download to the start, with read sharing only,
        // so nobody can write, replace or delete it and what is checked is
        // what starts.
        DeviceHandle hold;
        bool downloaded = false;
        if (job.GetState() == HttpDownload::Prepared) {
            hold.Reset(CreateFileA(localPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            job.Run();
            while (job.GetState() != HttpDownload::Finished)
                WaitHandlingMessages(pageWindow, &quitSeen, nullptr);
            downloaded = job.GetResult() == 0;
        }
        if (downloaded && hold.Valid()) {
            hold.Reset(ReOpenFile(hold.Get(), GENERIC_READ, FILE_SHARE_READ, 0));
            const std::string tempFolder = folder.MakeSubfolder(TempSubfolderName(kNetInstallerSubfolder));
            if (hold.Valid()) {
                result = StartResult::NotStarted;
                RunAnswering(pageWindow, [&] {
                    ProcessHandles process;
                    result = StartTrustedProgram(localPath, ProgramCommandLine(localPath), tempFolder, process,
                                                 &expected, folder.Handle());
                }, &quitSeen);
            }
        }
    }
    // A download that is not the release's net installer, signed by the
    // maker, is reported as a failed download and goes with its folder. One
    // that is started is let go: the net installer carries on by itself, from
    // its folder, which a later launch removes once it has ended.
    if (result == StartResult::Started) {
        folder.Keep();
    } else if (result == StartResult::Refused) {
        char text[kStringBufferSize];
        LoadModuleStringInto(IDS_DOWNLOAD_RETRY, text);
        MessageBoxA(pageWindow, text, nullptr, MB_OK);
    }
}
