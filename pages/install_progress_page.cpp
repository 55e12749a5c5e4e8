// The install progress page: its dialog starts one worker thread that fetches
// the URL list, downloads the selected packages, installs them silently,
// cleans up and then moves the wizard on by itself.
#include "pages/install_progress_page.h"

#include <process.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/path_text.h"
#include "install/command_lines.h"
#include "install/download_step.h"
#include "install/list_address.h"
#include "install/package_install.h"
#include "install/settings.h"
#include "probe/decision.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"
#include "trust/release_signature.h"
#include "trust/url_list.h"
#include "trust/verified_release.h"
#include "workfolder/work_folder.h"

InstallProgressPage installProgressPage;

namespace {

constexpr LANGID kJapanese = 0x0411;

bool JapaneseSystem()
{
    return GetSystemDefaultLangID() == kJapanese;
}

// The wizard is looked up afresh for every message: once the page window is
// gone GetParent gives null and the message goes nowhere.
void EnableNext(HWND window)
{
    SendMessageA(GetParent(window), PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
}

void PressNext(HWND window)
{
    SendMessageA(GetParent(window), PSM_PRESSBUTTON, PSBTN_NEXT, 0);
}

// Status text: string 104 (downloading) or 105 (installing) followed by
// " (k/N)", on the sequence's own window.
void ShowStep(HWND window, UINT stringId, int k, int n)
{
    char text[kStringBufferSize] = {};
    LoadModuleStringInto(stringId, text);
    char count[kStringBufferSize] = {};
    snprintf(count, sizeof count, " (%d/%d)", k, n);
    std::string whole = std::string(text) + count;
    SetDlgItemTextA(window, IDC_PROGRESS_STATUS, whole.c_str());
}

// One package's two addresses from the list, their local file names, what
// the release binds them to, and the subfolder of the working folder its
// installer lies in alone.
struct PackageFiles {
    std::string responseUrl;
    std::string responseName;
    ReleaseFile responseFile;
    std::string installerUrl;
    std::string installerName;
    ReleaseFile installerFile;
    std::string subfolder;
    std::string installerFolder;  // made right before the installer's download
};

PackageFiles LookupPackage(const VerifiedRelease& release, const std::string& listUrl, ReleaseFileKey responseKey,
                           ReleaseFileKey installerKey, const char* subfolder)
{
    const UrlList& list = release.List();
    PackageFiles files;
    files.subfolder = subfolder;
    files.responseFile = release.Lines().files[responseKey];
    files.installerFile = release.Lines().files[installerKey];
    files.responseUrl = ResolveListAddress(listUrl, list.Lookup(ReleaseFileKeyName(responseKey)));
    // A name that is not a plain file name with the file's own suffix counts
    // as missing, so its download fails like one: a hostile list cannot reach
    // outside the working folder, name a device, hide a separator in a
    // double-byte character or put a DLL where a response file goes.
    files.responseName = PackageFileName(files.responseUrl, ".iss");
    files.installerUrl = ResolveListAddress(listUrl, list.Lookup(ReleaseFileKeyName(installerKey)));
    files.installerName = PackageFileName(files.installerUrl, ".exe");
    return files;
}

// The sequence stops starting work once its page window is gone (the wizard
// was closed): nobody is left to see progress or answer questions.
bool PageAlive(HWND window)
{
    return IsWindow(window) != FALSE;
}

// The packages of one pass in their order: KPS, then on a Japanese system KL
// and PCSC_B. The download pass and the installation pass each ask for the
// system language afresh.
std::vector<PackageFiles*> ChosenPackages(PackageFiles& kps, PackageFiles& kl, PackageFiles& pcscB)
{
    std::vector<PackageFiles*> chosen;
    if (needKpsPackage)
        chosen.push_back(&kps);
    if (JapaneseSystem()) {
        if (needKlPackage)
            chosen.push_back(&kl);
        if (needPcscBPackage)
            chosen.push_back(&pcscB);
    }
    return chosen;
}

// Returns false when the page window is gone and nothing was downloaded.
// Without a folder (it could not be made) the download fails at its start.
bool DownloadPackage(HWND window, const WorkFolder& work, const std::string& responseFolder, PackageFiles& files)
{
    if (!PageAlive(window))
        return false;
    // No more than the release names: a longer answer fails at once. Both
    // files are checked against the release just before the installer starts.
    DownloadFile(window, responseFolder, files.responseUrl.c_str(), files.responseName.c_str(),
                 files.responseFile.size);
    if (!PageAlive(window))
        return false;
    files.installerFolder = work.MakeSubfolder(files.subfolder);
    DownloadFile(window, files.installerFolder, files.installerUrl.c_str(), files.installerName.c_str(),
                 files.installerFile.size);
    return true;
}

// Returns false when the page window is gone and nothing was started.
bool InstallAndDelete(HWND window, const WorkFolder& work, const std::string& responseFolder,
                      const PackageFiles& files)
{
    if (!PageAlive(window))
        return false;
    // Fresh for this installer; removed with the working folder, since what
    // an installer leaves running may still use it.
    const std::string tempFolder = work.MakeSubfolder(TempSubfolderName(files.subfolder));
    InstallPackage(window, files.installerFolder, files.installerName.c_str(), responseFolder,
                   files.responseName.c_str(), tempFolder, files.installerFile, files.responseFile, work.Handle());
    // A failed deletion leaves the file to the folder's removal at the end.
    if (!files.installerName.empty() && !files.installerFolder.empty())
        DeleteFileA(DownloadPath(files.installerFolder, files.installerName).c_str());
    if (!files.responseName.empty() && !responseFolder.empty())
        DeleteFileA(DownloadPath(responseFolder, files.responseName).c_str());
    return true;
}

void SetMarquee(HWND bar, bool on)
{
    LONG_PTR style = GetWindowLongPtrA(bar, GWL_STYLE);
    style = on ? (style | PBS_MARQUEE) : (style & ~LONG_PTR(PBS_MARQUEE));
    SetWindowLongPtrA(bar, GWL_STYLE, style);
}

// The worker holds a reference on this module for its whole life, so the
// framework unloading the library does not pull the code from under it; the
// reference goes with the thread itself.
unsigned __stdcall InstallThread(void* argument)
{
    try {
        static_cast<InstallProgressPage*>(argument)->InstallSequence();
    } catch (...) {
        // Out of memory inside the sequence: end the worker rather than the
        // framework's process.
    }
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&InstallThread), &self);
    FreeLibraryAndExitThread(self, 0);
    return 0;
}

bool StartInstallThread(InstallProgressPage* page)
{
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&InstallThread),
                            &self))
        return false;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, InstallThread, page, 0, nullptr));
    if (thread == nullptr) {
        FreeLibrary(self);
        return false;
    }
    // Nobody waits for the worker.
    CloseHandle(thread);
    return true;
}

// The response files of the packages this sequence handles lie in one
// folder: two with one name (ignoring case) would be one file there, so both
// count as missing. Installers lie in folders of their own and may share names.
void ClearSharedResponseNames(const std::vector<PackageFiles*>& chosen)
{
    std::vector<std::string*> names;
    for (PackageFiles* files : chosen)
        names.push_back(&files->responseName);
    if (!names.empty())
        ClearDuplicateNames(names.data(), names.size());
}

// The sequence from the list download to the normal end's texts, in the
// working folder `work`. True when the wizard is to be handed on; false
// when the page window went away (nobody left to hand on to).
bool RunInFolder(HWND window, HWND bar, const WorkFolder& work, const std::string& listUrl, bool japanese,
                 ListSource source)
{
    const std::string& folder = work.Path();
    // The list's own name keeps to the same rule as the names it gives: the
    // "URL List" setting must not place a file outside the working folder either.
    const std::string listName = PlainFileNameFromUrl(listUrl);
    if (!PageAlive(window))
        return false;
    const std::string listPath = listName.empty() || folder.empty() ? std::string() : DownloadPath(folder, listName);
    // A list that is not the maker's current release for this system (its
    // language the one that chose the list) is a failed download of the list.
    // Only its checked bytes are used afterwards.
    std::unique_ptr<VerifiedRelease> release;
    DownloadSignedFile(window, folder, listUrl.c_str(), listName.c_str(), kMaxUrlListBytes, [&] {
        release.reset(new VerifiedRelease(listPath, DownloadPath(folder, SignatureName(listName)), japanese, source));
        if (!release->Accepted())
            release.reset();  // a retry replaces the file
        return release != nullptr;
    });

    PackageFiles kps = LookupPackage(*release, listUrl, KpsIss, KpsExe, "kps");
    PackageFiles kl = LookupPackage(*release, listUrl, KlIss, KlExe, "kl");
    PackageFiles pcscB = LookupPackage(*release, listUrl, PcscBIss, PcscBExe, "pcsc_b");

    // The language test enters neither N nor the KPS package, so an
    // English system with KL selected shows (1/2) and stops after KPS.
    const int n = (needKpsPackage ? 1 : 0) + (needKlPackage ? 1 : 0) + (needPcscBPackage ? 1 : 0);

    // The response files lie together, apart from every installer.
    const std::vector<PackageFiles*> downloads = ChosenPackages(kps, kl, pcscB);
    ClearSharedResponseNames(downloads);
    const std::string responseFolder = downloads.empty() ? std::string() : work.MakeSubfolder(kResponseSubfolder);
    for (size_t i = 0; i < downloads.size(); ++i) {
        ShowStep(window, IDS_DOWNLOADING, int(i) + 1, n);
        if (!DownloadPackage(window, work, responseFolder, *downloads[i]))
            return false;
    }

    if (!PageAlive(window))
        return false;
    SetMarquee(bar, true);
    SendMessageA(bar, PBM_SETMARQUEE, 1, 50);

    const std::vector<PackageFiles*> installs = ChosenPackages(kps, kl, pcscB);
    for (size_t i = 0; i < installs.size(); ++i) {
        ShowStep(window, IDS_INSTALLING, int(i) + 1, n);
        if (!InstallAndDelete(window, work, responseFolder, *installs[i]))
            return false;
    }

    SetItemTextFromString(window, IDC_PROGRESS_STATUS, IDS_FINISHING);
    SetItemTextFromString(window, IDC_PROGRESS_STATUS, IDS_INSTALL_COMPLETE);
    // A wizard closed during the last installation gets no restart prompt.
    if (!IsVistaOrLater() && PageAlive(window))
        SetupPromptReboot(nullptr, window, FALSE);
    SetMarquee(bar, false);
    SendMessageA(bar, PBM_SETPOS, 100, 0);
    return true;
}

// Everything from the first registry read on: an exception anywhere in it
// (out of memory) must reach the one catch that ends the sequence. True when
// the wizard is to be handed on.
bool RunSequence(HWND window)
{
    HWND bar = GetDlgItem(window, IDC_PROGRESS_BAR);

    const std::string basicVersion = ReadBasicSoftwareVersion();
    if (!basicVersion.empty() && basicVersion[0] == '1') {
        char text[kStringBufferSize] = {};
        LoadModuleStringInto(IDS_OLDER_SOFTWARE, text);
        MessageBoxA(window, text, "", MB_OK);
        return true;
    }

    // The system language picks the default list, and the release must be
    // for it; the "URL List" setting may name one for every language instead.
    std::string listUrl = ReadUrlListSetting();
    const ListSource source = listUrl.empty() ? ListSource::DefaultAddress : ListSource::ConfiguredAddress;
    const bool japanese = JapaneseSystem();
    if (listUrl.empty())
        listUrl = DefaultUrlListAddress(japanese);

    // Removed with everything in it as the sequence leaves this function, by
    // whichever end, before the wizard is handed on.
    const WorkFolder work(kSequenceFolderPrefix);
    return RunInFolder(window, bar, work, listUrl, japanese, source);
}

}  // namespace

void InstallProgressPage::InitPageInfo()
{
    WizardPage::InitPageInfo();
    SetPageSettings(IDD_PROGRESS_PAGE, IDS_PROGRESS_TITLE, IDS_PROGRESS_SUBTITLE);
}

UINT InstallProgressPage::PageCallback(HWND, UINT, LPPROPSHEETPAGEA)
{
    return 1;
}

INT_PTR InstallProgressPage::DialogProc(HWND window, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        pageWindow = window;
        SendMessageA(GetParent(window), PSM_SETWIZBUTTONS, 0, 0);
        StartInstallThread(this);
        return TRUE;
    case WM_NOTIFY:
    case WM_CONTEXTMENU:
    case WM_COMMAND:
        return TRUE;
    default:
        return FALSE;
    }
}

bool IsVistaOrLater()
{
    OSVERSIONINFOEXA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 0;
    ULONGLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    return VerifyVersionInfoA(&version, VER_MAJORVERSION | VER_MINORVERSION, mask) != FALSE;
}

void InstallProgressPage::InstallSequence()
{
    // One window for the whole run: a later creation of the page in another
    // wizard must not redirect this sequence.
    const HWND window = pageWindow;
    bool handOn = false;
    try {
        handOn = RunSequence(window);
    } catch (...) {
        // The user's Cancel (DownloadCancelled), or anything else that escaped
        // (out of memory), from the first read on: the cancelled end. The page
        // disabled every wizard button at its start, and pressing a disabled
        // Next does nothing, so Next is enabled first, as the other ends do.
        // Status text and progress bar stay as they were.
        handOn = true;
    }
    if (handOn) {
        EnableNext(window);
        PressNext(window);
    }
}
