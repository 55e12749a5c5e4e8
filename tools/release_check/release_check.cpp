// release_check.exe: checks a release on a download server exactly as the
// class installer will, with the installer's own install/ and net/ code, and
// prints one line per key: key, address or value, size, and "ok" or the reason.
//   release_check [--host NAME] [--list URL] [--language en|ja|all] [--serial-at-least N]
// --list checks the list a "URL List" setting would name instead of the
// default addresses: with --language all (the default), for both languages.
// Exit status 0 only when each checked language's list is accepted and every
// package it can select would install, and the net installer would start.
// It stores no serial: N stands for the highest a machine has accepted.
// It first names the release-key pins it was built with: the check is only
// as good as the build, and a build with the tests' public keys says so.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/path_text.h"
#include "common/win_handles.h"
#include "install/command_lines.h"
#include "install/download_step.h"
#include "install/list_address.h"
#include "install/settings.h"
#include "net/http_download.h"
#include "trust/file_hash.h"
#include "trust/publisher.h"
#include "trust/release_pins.h"
#include "trust/release_signature.h"
#include "trust/trusted_start.h"
#include "trust/url_list.h"
#include "trust/verified_release.h"
#include "workfolder/work_folder.h"

namespace {

const char kCheckFolderPrefix[] = "KuvanaCheck-";

struct Fetched {
    int result = -1;
    ULONGLONG size = 0;
    int httpStatus = 0;
    std::string url;
};

// One download as the installer makes it (a fresh file, the same bound),
// waited for without a window.
Fetched Fetch(const std::string& url, const std::string& path, ULONGLONG maxBytes)
{
    Fetched fetched;
    fetched.url = url;
    HttpDownload job;
    job.SetLocalFileRules(true, maxBytes);
    if (path.empty() || !job.Start(url.c_str(), path.c_str()) || !job.Run()) {
        fetched.result = job.GetResult() != 0 ? job.GetResult() : 200000;
        return fetched;
    }
    while (job.GetState() != HttpDownload::Finished)
        Sleep(100);
    fetched.result = job.GetResult();
    fetched.httpStatus = job.GetHttpStatus();
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        fetched.size = (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return fetched;
}

std::string Failed(const std::string& what, const Fetched& fetched)
{
    const std::string text = what + " cannot be downloaded";
    // The two answers a vendor can mend on the host, named plainly.
    if (fetched.httpStatus == 403)
        return text + ": 403 Forbidden for " + fetched.url +
               " (the web server may not read the file: check its mode and owner)";
    if (fetched.httpStatus == 404)
        return text + ": 404 Not Found for " + fetched.url + " (nothing uploaded at that address)";
    if (fetched.httpStatus >= 400)
        return text + ": HTTP " + std::to_string(fetched.httpStatus) + " for " + fetched.url;
    return text + " (code " + std::to_string(fetched.result) + ")";
}

// Prints one line; true when it says ok.
bool Report(const std::string& key, const std::string& url, ULONGLONG size, const std::string& verdict)
{
    printf("%-16s %-80s %12llu  %s\n", key.c_str(), url.empty() ? "-" : url.c_str(), size, verdict.c_str());
    fflush(stdout);
    return verdict == "ok";
}

// Fewer days than this before a release expires get a warning: re-sign it.
const long long kExpiryWarningSeconds = 14 * 86400;

std::string SizeText(const ReleaseFile& file)
{
    return file.bound ? std::to_string(file.size) + " bytes" : std::string("no size");
}

// A file the list binds is fetched no further than its size; one it does
// not is fetched whole, to be named as not the list's.
ULONGLONG BoundOf(const ReleaseFile& expected)
{
    return expected.bound ? expected.size : HttpDownload::kNoSizeBound;
}

// What a download failure names: the file, with its bound once a list gave one.
std::string FileWhat(const ReleaseFile& expected)
{
    return expected.bound ? "the file (at most " + SizeText(expected) + ")" : std::string("the file");
}

// A response file, checked as the installation step checks it.
bool CheckResponse(const std::string& key, const std::string& url, const std::string& folder,
                   const std::string& name, const ReleaseFile& expected)
{
    const std::string path = DownloadPath(folder, name);
    const Fetched file = Fetch(url, path, BoundOf(expected));
    if (file.result != 0)
        return Report(key, url, file.size, Failed(FileWhat(expected), file));
    const DeviceHandle held(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return Report(key, url, file.size,
                  held.Valid() && FileMatchesRelease(held.Get(), expected)
                      ? "ok"
                      : "not the file the list names (" + SizeText(expected) + " and its SHA-256)");
}

bool CheckProgram(const std::string& key, const std::string& url, const std::string& folder,
                  const std::string& name, const ReleaseFile& expected)
{
    const Fetched file = Fetch(url, DownloadPath(folder, name), BoundOf(expected));
    if (file.result != 0)
        return Report(key, url, file.size, Failed(FileWhat(expected), file));
    const VerifiedProgram bound(DownloadPath(folder, name), &expected);
    if (bound.Trusted())
        return Report(key, url, file.size, "ok");
    const VerifiedProgram program(DownloadPath(folder, name));
    return Report(key, url, file.size,
                  program.Trusted() ? "signed, but not the file the list names (" + SizeText(expected) +
                                          " and its SHA-256)"
                                    : "not signed by " + std::string(kMakerPublisher) + ", or changed after signing");
}

std::string OnHost(const std::string& address, const std::string& host)
{
    const std::string defaultHost = std::string("http://") + kDownloadServerHost;
    return address.compare(0, defaultHost.size(), defaultHost) == 0
               ? "http://" + host + address.substr(defaultHost.size())
               : address;
}


// One language's list, its release lines and the packages that language
// selects. `release` gets the accepted release (the net installer's lines).
// `configuredList`, when given, stands where the default address would.
bool CheckLanguage(bool japanese, const std::string& host, const std::string& configuredList, const WorkFolder& work,
                   unsigned long long atLeast, ReleaseFile& netInstaller)
{
    const std::string language = japanese ? "ja" : "en";
    const std::string folder = work.MakeSubfolder(language);
    const ListSource source = configuredList.empty() ? ListSource::DefaultAddress : ListSource::ConfiguredAddress;
    const std::string listUrl =
        configuredList.empty() ? OnHost(DefaultUrlListAddress(japanese), host) : configuredList;
    const std::string listName = PlainFileNameFromUrl(listUrl);
    const std::string key = "url_list(" + language + ")";
    const Fetched list = Fetch(listUrl, DownloadPath(folder, listName), kMaxUrlListBytes);
    if (list.result != 0)
        return Report(key, listUrl, list.size, Failed("the list", list));
    const Fetched signature =
        Fetch(SignatureAddress(listUrl), DownloadPath(folder, SignatureName(listName)), kMaxSignatureBytes);
    if (signature.result != 0)
        return Report(key, listUrl, list.size, Failed("its .p7 signature", signature));
    const VerifiedRelease release(DownloadPath(folder, listName), DownloadPath(folder, SignatureName(listName)),
                                  japanese, source, &atLeast);
    const Release& lines = release.Lines();
    if (lines.expiresText.empty())
        return Report(key, listUrl, list.size, release.Fault());
    Report("RELEASE_SERIAL", std::to_string(lines.serial), 0,
           lines.serial >= atLeast ? "ok" : "lower than " + std::to_string(atLeast) + ": machines refuse it");
    const long long left = lines.expires - UtcNow();
    Report("RELEASE_EXPIRES", lines.expiresText, 0,
           left <= 0                        ? std::string("expired: machines refuse it")
           : left < kExpiryWarningSeconds   ? "ok, but " + std::to_string(left / 86400) + " day(s) left: re-sign it"
                                            : std::string("ok"));
    const bool languageFits = lines.everyLanguage ? source == ListSource::ConfiguredAddress : lines.japanese == japanese;
    Report("RELEASE_LANGUAGE", lines.everyLanguage ? "all" : lines.japanese ? "ja" : "en", 0,
           languageFits                ? std::string("ok")
           : lines.everyLanguage       ? std::string("every language, at a default address: machines refuse it")
                                       : "not " + language + ": machines refuse it");
    if (!Report(key, listUrl, list.size, release.Accepted() ? "ok" : release.Fault()))
        return false;
    netInstaller = lines.files[NetExe];

    struct Entry {
        ReleaseFileKey response;
        ReleaseFileKey installer;
        const char* subfolder;
    };
    const Entry packages[] = {{KpsIss, KpsExe, "kps"}, {KlIss, KlExe, "kl"}, {PcscBIss, PcscBExe, "pcsc_b"}};
    // An English system installs KPS only; a Japanese one may select all three.
    const int selectable = japanese ? 3 : 1;
    std::string responseNames[3];
    std::string* names[3];
    for (int i = 0; i < selectable; ++i) {
        responseNames[i] = PackageFileName(
            ResolveListAddress(listUrl, release.List().Lookup(ReleaseFileKeyName(packages[i].response))), ".iss");
        names[i] = &responseNames[i];
    }
    // The response files share one folder on a machine; installers do not.
    ClearDuplicateNames(names, size_t(selectable));
    bool good = true;
    for (int i = 0; i < selectable; ++i) {
        for (const ReleaseFileKey fileKey : {packages[i].response, packages[i].installer}) {
            const bool response = fileKey == packages[i].response;
            const char* name = ReleaseFileKeyName(fileKey);
            const std::string url = ResolveListAddress(listUrl, release.List().Lookup(name));
            const std::string fileName = response ? responseNames[i] : PackageFileName(url, ".exe");
            if (url.empty()) {
                good = Report(name, "", 0, "missing from the list") && good;
                continue;
            }
            if (fileName.empty()) {
                good = Report(name, url, 0,
                              response ? "not a plain file name ending in .iss, or the same name as another "
                                         "selectable package's response file"
                                       : "not a plain file name ending in .exe") &&
                       good;
                continue;
            }
            const std::string subfolder = work.MakeSubfolder(language + "_" + name);
            good = (response ? CheckResponse(name, url, subfolder, fileName, lines.files[fileKey])
                             : CheckProgram(name, url, subfolder, fileName, lines.files[fileKey])) &&
                   good;
        }
    }
    return good;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string host = kDownloadServerHost;
    std::string language = "all";
    std::string configuredList;
    unsigned long long atLeast = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--host") == 0 && i + 1 < argc) {
            host = argv[++i];
        } else if (std::strcmp(argv[i], "--list") == 0 && i + 1 < argc) {
            configuredList = argv[++i];
        } else if (std::strcmp(argv[i], "--language") == 0 && i + 1 < argc) {
            language = argv[++i];
        } else if (std::strcmp(argv[i], "--serial-at-least") == 0 && i + 1 < argc) {
            char* end = nullptr;
            atLeast = std::strtoull(argv[++i], &end, 10);
            if (end == nullptr || *end != '\0') {
                fprintf(stderr, "release_check: --serial-at-least takes a decimal number\n");
                return 2;
            }
        } else {
            fprintf(stderr, "usage: release_check [--host NAME] [--list URL] [--language en|ja|all] "
                            "[--serial-at-least N]\n");
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
    printf("release_check: trusts the release keys with the pins %s\n", kReleasePins);
#if KUVANA_TRUSTS_TEST_KEYS
    printf("release_check: !!! THIS BUILD TRUSTS THE TESTS' PUBLIC RELEASE KEYS: anyone can sign a list it accepts. "
           "It checks nothing a vendor ships; never package its DLL. !!!\n");
#endif
    printf("%-16s %-80s %12s  %s\n", "key", "address", "size", "verdict");
    bool good = true;
    // The net installer is checked against the last accepted list's lines.
    ReleaseFile netInstaller;
    if (language != "ja")
        good = CheckLanguage(false, host, configuredList, work, atLeast, netInstaller) && good;
    if (language != "en")
        good = CheckLanguage(true, host, configuredList, work, atLeast, netInstaller) && good;
    const std::string netFolder = work.MakeSubfolder("net");
    good = CheckProgram("NET_EXE", OnHost(DefaultNetInstallerAddress(), host), netFolder,
                        PlainFileNameFromUrl(DefaultNetInstallerAddress()), netInstaller) &&
           good;
    printf("release_check: %s\n", good ? "every package would install" : "NOT every package would install");
    return good ? 0 : 1;
}
