// The URL list as the Windows build reads it: through the C runtime's text
// mode, on a file the download job has just written.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "install/url_list.h"
#include "support/temp_folder_sandbox.h"

namespace {

TEST(UrlListOnWindows, CrLfListReadAgainForEachKey)
{
    TempFolderSandbox temp;
    const std::string path = temp.Path("url_list.txt");
    ASSERT_TRUE(WriteWholeFile(path,
                               "KPS_ISS,http://h/kps.iss\r\nKPS_EXE,http://h/kps.exe\r\n"
                               "KL_ISS,http://h/a,b\r\nKL_EXE,\r\nPCSC_B_EXE,http://h/pcsc.exe"));
    UrlList list(path);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(list.Lookup("PCSC_B_EXE"), "http://h/pcsc.exe");
        EXPECT_EQ(list.Lookup("KPS_ISS"), "http://h/kps.iss");
        EXPECT_EQ(list.Lookup("KPS_EXE"), "http://h/kps.exe");
        EXPECT_EQ(list.Lookup("KL_ISS"), "http://h/a,b");
        EXPECT_EQ(list.Lookup("KL_EXE"), "");
        EXPECT_EQ(list.Lookup("PCSC_B_ISS"), "");
    }
}

TEST(UrlListOnWindows, OpensAFileOthersHoldOpenForWriting)
{
    TempFolderSandbox temp;
    const std::string path = temp.Path("url_list.txt");
    ASSERT_TRUE(WriteWholeFile(path, "KPS_EXE,http://h/kps.exe\n"));
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    UrlList list(path);
    EXPECT_EQ(list.Lookup("KPS_EXE"), "http://h/kps.exe");
    CloseHandle(writer);
    // The list holds no lock of its own against the sequence deleting files.
    list.Close();
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST(UrlListOnWindows, MissingFileHasNoEntries)
{
    TempFolderSandbox temp;
    UrlList list(temp.Path("url_list.txt"));
    EXPECT_EQ(list.Lookup("KPS_EXE"), "");
}

}  // namespace
