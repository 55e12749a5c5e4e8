// Addresses on the maker's download server. Pure: no Windows calls.
#include "install/settings.h"

const char kDownloadServerHost[] = "download.zorvik.co.jp";

const char kNetInstallerKey[] = "SOFTWARE\\Zorvik Corporation\\Kuvana Net Installer";
const char kUrlListValue[] = "URL List";
const char kNetInstallerValue[] = "Net Installer";
// "Vorsil " followed by the Japanese words for "basic software" in code page 932.
const char kBasicSoftwareKey[] =
    "SOFTWARE\\Zorvik Corporation\\Vorsil "
    "\x8A\xEE\x96\x7B\x83\x5C\x83\x74\x83\x67\x83\x45\x83\x46\x83\x41";
const char kBasicSoftwareVersionValue[] = "CurrentVersion";

namespace {

const char kNetInstallerFolder[] = "/Products/kuvana/pcrw/driver/netinstaller/";

std::string ServerAddress(const std::string& path)
{
    return std::string("http://") + kDownloadServerHost + path;
}

}  // namespace

std::string DefaultUrlListAddress(bool japaneseSystem)
{
    return ServerAddress(std::string(kNetInstallerFolder) + (japaneseSystem ? "ja" : "en") + "/url_list.txt");
}

std::string DefaultNetInstallerAddress()
{
    return ServerAddress(std::string(kNetInstallerFolder) + "KuvanaNetInstaller.exe");
}
