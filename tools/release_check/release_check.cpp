// release_check.exe: checks a release on a download server exactly as the
// class installer will, with the installer's own install/ and net/ code, and
// prints one line per file: key, address, size, and "ok" or the reason.
//   release_check [--host NAME] [--language en|ja|all]
// Exit status 0 only when every package a checked language can select would
// install, and the net installer would start.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "install/command_lines.h"
#include "install/download_step.h"
#include "install/list_address.h"
#include "install/settings.h"
#include "install/signed_file.h"
#include "install/trusted_start.h"
#include "install/url_list.h"
#include "install/work_folder.h"
#include "net/http_download.h"

namespace {

const char kCheckFolderPrefix[] = "KuvanaCheck-";

struct Fetched {
    int result = -1;
    ULONGLONG size = 0;
};

// One download as the installer makes it (a fresh file, the same bound),
// waited for without a window.
Fetched Fetch(const std::string& url, const std::string& path, ULONGLONG maxBytes)
{
    Fetched fetched;
    HttpDownload job;
    job.SetLocalFileRules(true, maxBytes);
    if (path.empty() || !job.Start(url.c_str(), path.c_str()) || !job.Run()) {
        fetched.result = job.GetResult() != 0 ? job.GetResult() : 200000;
        return fetched;
    }
    while (job.GetState() != HttpDownload::Finished)
        Sleep(100);
    fetched.result = job.GetResult();
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        fetched.size = (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return fetched;
}

std::string Failed(const char* what, int code)
{
    char text[96];
    snprintf(text, sizeof text, "%s cannot be downloaded (code %d)", what, code);
    return text;
}

// Prints one line; true when it says ok.
bool Report(const std::string& key, const std::string& url, ULONGLONG size, const std::string& verdict)
{
    printf("%-16s %-80s %12llu  %s\n", key.c_str(), url.empty() ? "-" : url.c_str(), size, verdict.c_str());
    fflush(stdout);
    return verdict == "ok";
}

// A steering file and its signature, checked as the sequence checks them.
bool CheckSteering(const std::string& key, const std::string& url, const std::string& folder,
                   const std::string& name, ULONGLONG maxBytes)
{
    const Fetched file = Fetch(url, DownloadPath(folder, name), maxBytes);
    if (file.result != 0)
        return Report(key, url, file.size, Failed("the file", file.result));
    const Fetched signature = Fetch(SignatureAddress(url), DownloadPath(folder, SignatureName(name)), kMaxSignatureBytes);
    if (signature.result != 0)
        return Report(key, url, file.size, Failed("its .p7 signature", signature.result));
    const SignedFile checked(DownloadPath(folder, name), DownloadPath(folder, SignatureName(name)), ULONG(maxBytes));
    return Report(key, url, file.size,
                  checked.Trusted() ? "ok"
                                    : "signature does not fit the file, or is not the maker's (" +
                                          std::string(kMakerPublisher) + ", trusted root, code signing)");
}

bool CheckProgram(const std::string& key, const std::string& url, const std::string& folder,
                  const std::string& name)
{
    const Fetched file = Fetch(url, DownloadPath(folder, name), kMaxInstallerBytes);
    if (file.result != 0)
        return Report(key, url, file.size, Failed("the file", file.result));
    const VerifiedProgram program(DownloadPath(folder, name));
    return Report(key, url, file.size,
                  program.Trusted() ? "ok" : "not signed by " + std::string(kMakerPublisher) + ", or changed after signing");
}

std::string OnHost(const std::string& address, const std::string& host)
{
    const std::string defaultHost = std::string("http://") + kDownloadServerHost;
    return address.compare(0, defaultHost.size(), defaultHost) == 0
               ? "http://" + host + address.substr(defaultHost.size())
               : address;
}

struct Entry {
    const char* key;
    const char* suffix;
    std::string url;
    std::string name;
};

// One language's list and the packages that language selects.
bool CheckLanguage(bool japanese, const std::string& host, const WorkFolder& work)
{
    const std::string language = japanese ? "ja" : "en";
    const std::string folder = work.MakeSubfolder(language);
    const std::string listUrl = OnHost(DefaultUrlListAddress(japanese), host);
    const std::string listName = PlainFileNameFromUrl(listUrl);
    if (!CheckSteering("url_list(" + language + ")", listUrl, folder, listName, kMaxUrlListBytes))
        return false;

    Entry entries[] = {{"KPS_ISS", ".iss"}, {"KPS_EXE", ".exe"},    {"KL_ISS", ".iss"},
                       {"KL_EXE", ".exe"},  {"PCSC_B_ISS", ".iss"}, {"PCSC_B_EXE", ".exe"}};
    {
        UrlList list(DownloadPath(folder, listName));
        for (Entry& entry : entries) {
            entry.url = ResolveListAddress(listUrl, list.Lookup(entry.key));
            entry.name = PackageFileName(entry.url, entry.suffix);
        }
    }
    std::string* names[6];
    for (int i = 0; i < 6; ++i)
        names[i] = &entries[i].name;
    ClearDuplicateNames(names, 6);

    // An English system installs KPS only; a Japanese one may select all three.
    const int selectable = japanese ? 6 : 2;
    bool good = true;
    for (int i = 0; i < selectable; ++i) {
        const Entry& entry = entries[i];
        if (entry.url.empty()) {
            good = Report(entry.key, "", 0, "missing from the list") && good;
            continue;
        }
        if (entry.name.empty()) {
            good = Report(entry.key, entry.url, 0,
                          std::string("not a plain file name ending in ") + entry.suffix +
                              ", or the same name as another entry's") &&
                   good;
            continue;
        }
        const std::string subfolder = work.MakeSubfolder(language + "_" + entry.key);
        good = (entry.suffix[1] == 'i' ? CheckSteering(entry.key, entry.url, subfolder, entry.name, kMaxResponseBytes)
                                       : CheckProgram(entry.key, entry.url, subfolder, entry.name)) &&
               good;
    }
    return good;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string host = kDownloadServerHost;
    std::string language = "all";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--host") == 0 && i + 1 < argc) {
            host = argv[++i];
        } else if (std::strcmp(argv[i], "--language") == 0 && i + 1 < argc) {
            language = argv[++i];
        } else {
            fprintf(stderr, "usage: release_check [--host NAME] [--language en|ja|all]\n");
            return 2;
        }
    }
    if (language != "en" && language != "ja" && language != "all") {
        fprintf(stderr, "release_check: --language takes en, ja or all\n");
        return 2;
    }
    const WorkFolder work(kCheckFolderPrefix);
    if (work.Path().empty()) {
        fprintf(stderr, "release_check: no working folder under the temporary folder\n");
        return 2;
    }
    printf("%-16s %-80s %12s  %s\n", "key", "address", "size", "verdict");
    bool good = true;
    if (language != "ja")
        good = CheckLanguage(false, host, work) && good;
    if (language != "en")
        good = CheckLanguage(true, host, work) && good;
    const std::string netFolder = work.MakeSubfolder("net");
    good = CheckProgram("net_installer", OnHost(DefaultNetInstallerAddress(), host), netFolder,
                        PlainFileNameFromUrl(DefaultNetInstallerAddress())) &&
           good;
    printf("release_check: %s\n", good ? "every package would install" : "NOT every package would install");
    return good ? 0 : 1;
}
