// Paths, command lines and server addresses of the install steps.
#include <gtest/gtest.h>

#include <string>

#include "common/path_text.h"
#include "install/command_lines.h"
#include "install/settings.h"
#include "trust/environment.h"

namespace {

TEST(InstallCommandLine, QuotesTheProgramAndKeepsTheOptionsByteForByte)
{
    const std::string line = InstallCommandLine("C:\\T\\kps\\pkg.exe", "C:\\T\\response\\pkg.iss");
    EXPECT_EQ(line, "\"C:\\T\\kps\\pkg.exe\" /nodialog /noreboot /nokps -s -f1\"C:\\T\\response\\pkg.iss\"");
    const std::string folder = "C:\\Documents and Settings\\user\\Local Settings\\Temp\\";
    EXPECT_EQ(InstallCommandLine(folder + "setup.exe", folder + "setup.iss"),
              "\"" + folder + "setup.exe\" /nodialog /noreboot /nokps -s -f1\"" + folder + "setup.iss\"");
}

// A block from a literal ending in its double NUL.
template <size_t N>
std::wstring Block(const wchar_t (&text)[N])
{
    return std::wstring(text, N - 1);
}

TEST(StartEnvironment, TmpAndTempAreSetWhereTheyStandOrWhereTheBlockSortsThem)
{
    struct Case {
        std::wstring host, expected;
    } cases[] = {
        // In place, in any case; a repeat goes; the rest stays as it was.
        {Block(L"=C:=C:\\w\0Path=C:\\bin\0Temp=C:\\W\0TEMPO=x\0tmp=C:\\W\0A=b=c\0TMP=y\0\0"),
         Block(L"=C:=C:\\w\0Path=C:\\bin\0TEMP=K\0TEMPO=x\0TMP=K\0A=b=c\0\0")},
        // Missing ones where the order puts them, before a longer or later name.
        {Block(L"ALLUSERSPROFILE=C:\\P\0TEMPO=x\0T_X=1\0windir=C:\\W\0\0"),
         Block(L"ALLUSERSPROFILE=C:\\P\0TEMP=K\0TEMPO=x\0TMP=K\0T_X=1\0windir=C:\\W\0\0")},
        {Block(L"\0"), Block(L"TEMP=K\0TMP=K\0\0")},
        // A value outside any code page passes as it is.
        {Block(L"PATH=C:\\\x0101\xD55C\xD83D\xDE00\0\0"),
         Block(L"PATH=C:\\\x0101\xD55C\xD83D\xDE00\0TEMP=K\0TMP=K\0\0")},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(InstallerEnvironment(c.host.c_str(), L"K", nullptr) == c.expected) << c.expected.size();
    EXPECT_TRUE(InstallerEnvironment(nullptr, L"K", nullptr) == cases[2].expected);
    EXPECT_EQ(FolderOfPath("C:\\K\\kps\\setup.exe"), "C:\\K\\kps");
    EXPECT_EQ(FolderOfPath("C:\\K\\kps-temp\\"), "C:\\K\\kps-temp");
}

// What loads code chosen by whoever set it never reaches an installer, in
// any case; look-alike names do. PATH is the system's where one is given.
TEST(StartEnvironment, CodeLoadingVariablesGoAndPathIsTheSystemsWhenGiven)
{
    const std::wstring loading = Block(
        L"COR_ENABLE_PROFILING=1\0cor_profiler={x}\0COR_PROFILER_PATH_64=C:\\p.dll\0Cor_Profiler_Path=C:\\q.dll\0"
        L"CORECLR_PROFILER={x}\0DOTNET_STARTUP_HOOKS=C:\\h.dll\0dotnet_x=1\0COMPlus_ETWEnabled=0\0"
        L"COMPLUS_Y=1\0__COMPAT_LAYER=RunAsInvoker\0\0");
    const std::wstring kept = Block(L"COR_PROFILERX=1\0CORECLR=1\0DOTNET=1\0MY_DOTNET_X=1\0_COMPAT_LAYER=1\0\0");
    const std::wstring system = L"C:\\W\\system32;C:\\W", none;
    struct Case {
        std::wstring host;
        const std::wstring* path;
        std::wstring expected;
    } cases[] = {
        {loading, nullptr, Block(L"TEMP=K\0TMP=K\0\0")},
        {kept, nullptr, Block(L"COR_PROFILERX=1\0CORECLR=1\0DOTNET=1\0MY_DOTNET_X=1\0TEMP=K\0TMP=K\0_COMPAT_LAYER=1\0\0")},
        // The caller's PATH, in any case, repeated or missing, gives way.
        {Block(L"A=1\0path=C:\\U\0PATHEXT=.EXE\0PATH=C:\\V\0\0"), &system,
         Block(L"A=1\0Path=C:\\W\\system32;C:\\W\0PATHEXT=.EXE\0TEMP=K\0TMP=K\0\0")},
        {Block(L"A=1\0Z=2\0\0"), &system, Block(L"A=1\0Path=C:\\W\\system32;C:\\W\0TEMP=K\0TMP=K\0Z=2\0\0")},
        {Block(L"A=1\0Path=C:\\U\0\0"), &none, Block(L"A=1\0TEMP=K\0TMP=K\0\0")},
        {Block(L"A=1\0Path=C:\\U\0\0"), nullptr, Block(L"A=1\0Path=C:\\U\0TEMP=K\0TMP=K\0\0")},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(InstallerEnvironment(c.host.c_str(), L"K", c.path) == c.expected) << c.expected.size();

    const Variables variables = {{L"SystemRoot", L"C:\\W"}, {L"TOOLS", L"D:\\t"}, {L"systemroot", L"X:"}};
    const struct {
        std::wstring text, expected;
    } expansions[] = {
        {L"%SystemRoot%\\system32;%SYSTEMROOT%;%tools%\\bin", L"C:\\W\\system32;C:\\W;D:\\t\\bin"},
        {L"%USERPROFILE%\\x;%%;100%", L"%USERPROFILE%\\x;%%;100%"},
        {L"%A%SystemRoot%", L"%AC:\\W"},
        {L"C:\\plain", L"C:\\plain"},
    };
    for (const auto& e : expansions)
        EXPECT_TRUE(ExpandVariables(e.text, variables) == e.expected) << e.expected.size();
}

TEST(DownloadPaths, DoubledBackslashBetweenFolderAndName)
{
    EXPECT_EQ(DownloadPath("C:\\T\\", "url_list.txt"), "C:\\T\\\\url_list.txt");
    EXPECT_EQ(DownloadPath("C:\\T\\", ""), "C:\\T\\\\");
    EXPECT_EQ(NetInstallerPath("C:\\T\\"), "C:\\T\\\\KuvanaNetInstaller.exe");
    EXPECT_EQ(NetInstallerPath("").size(), 23u);
    EXPECT_EQ(ProgramCommandLine("C:\\T\\\\KuvanaNetInstaller.exe"), "\"C:\\T\\\\KuvanaNetInstaller.exe\"");
}

TEST(ServerAddresses, DefaultsArePlainHttpOnTheOneServerHost)
{
    const std::string server = std::string("http://") + kDownloadServerHost;
    EXPECT_EQ(DefaultUrlListAddress(true), server + "/Products/kuvana/pcrw/driver/netinstaller/ja/url_list.txt");
    EXPECT_EQ(DefaultUrlListAddress(false), server + "/Products/kuvana/pcrw/driver/netinstaller/en/url_list.txt");
    EXPECT_EQ(DefaultNetInstallerAddress(),
              server + "/Products/kuvana/pcrw/driver/netinstaller/KuvanaNetInstaller.exe");
    EXPECT_EQ(std::string(kDownloadServerHost).find_first_of("/: "), std::string::npos);
}

TEST(RegistryNames, BasicSoftwareKeyEndsInCodePage932Bytes)
{
    const std::string key = kBasicSoftwareKey;
    const std::string tail = "Vorsil \x8A\xEE\x96\x7B\x83\x5C\x83\x74\x83\x67\x83\x45\x83\x46\x83\x41";
    ASSERT_GE(key.size(), tail.size());
    EXPECT_EQ(key.substr(key.size() - tail.size()), tail);
    EXPECT_EQ(key, std::string("SOFTWARE\\Zorvik Corporation\\") + tail);
    EXPECT_EQ(std::string(kNetInstallerKey), "SOFTWARE\\Zorvik Corporation\\Kuvana Net Installer");
}

}  // namespace
