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
        EXPECT_TRUE(EnvironmentWithTemp(c.host.c_str(), L"K") == c.expected) << c.expected.size();
    EXPECT_TRUE(EnvironmentWithTemp(nullptr, L"K") == cases[2].expected);
    EXPECT_EQ(FolderOfPath("C:\\K\\kps\\setup.exe"), "C:\\K\\kps");
    EXPECT_EQ(FolderOfPath("C:\\K\\kps-temp\\"), "C:\\K\\kps-temp");
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
