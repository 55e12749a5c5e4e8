// Paths, command lines and server addresses of the install steps.
#include <gtest/gtest.h>

#include <string>

#include "install/command_lines.h"
#include "install/settings.h"

namespace {

TEST(InstallCommandLine, QuotesTheProgramAndKeepsTheOptionsByteForByte)
{
    const std::string line = InstallCommandLine("C:\\T\\kps\\pkg.exe", "C:\\T\\response\\pkg.iss");
    EXPECT_EQ(line, "\"C:\\T\\kps\\pkg.exe\" /nodialog /noreboot /nokps -s -f1\"C:\\T\\response\\pkg.iss\"");
    const std::string folder = "C:\\Documents and Settings\\user\\Local Settings\\Temp\\";
    EXPECT_EQ(InstallCommandLine(folder + "setup.exe", folder + "setup.iss"),
              "\"" + folder + "setup.exe\" /nodialog /noreboot /nokps -s -f1\"" + folder + "setup.iss\"");
}

TEST(StartEnvironment, TmpAndTempInAnyCaseAreReplacedAndTheRestKeptInOrder)
{
    const char host[] = "=C:=C:\\w\0Path=C:\\bin\0tmp=C:\\Windows\\Temp\0TEMPO=x\0Temp=C:\\Windows\\Temp\0A=b=c\0";
    // Both literals end in the block's double NUL.
    const char expected[] = "=C:=C:\\w\0Path=C:\\bin\0TEMPO=x\0A=b=c\0TMP=C:\\K\\kps-temp\0TEMP=C:\\K\\kps-temp\0";
    EXPECT_EQ(EnvironmentWithTemp(host, "C:\\K\\kps-temp"), std::string(expected, sizeof expected));
    const char alone[] = "TMP=C:\\K\0TEMP=C:\\K\0";
    EXPECT_EQ(EnvironmentWithTemp("", "C:\\K"), std::string(alone, sizeof alone));
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
