// The check of a steering file's detached signature, on signatures made at
// build time with openssl (tests/wine/make-signed-files). The test CA is in
// the prefix's root store; the other CA is not.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "install/signed_file.h"
#include "support/signed_files.h"
#include "support/temp_folder_sandbox.h"

namespace {

struct Case {
    const char* content;
    const char* signature;
    bool trusted;
    const char* why;
};

TEST(SignedFileTest, OnlyTheMakersSignatureOverTheExactBytesIsTrusted)
{
    const Case cases[] = {
        {"list.txt", "maker.p7", true, "the maker's signature"},
        {"changed.txt", "maker.p7", false, "one byte appended after signing"},
        {"list.txt", "missing.p7", false, "no signature"},
        {"list.txt", "garbage.p7", false, "not a signature"},
        {"list.txt", "stranger.p7", false, "another publisher under the trusted CA"},
        {"list.txt", "outsider.p7", false, "the maker's name under an untrusted root"},
        {"list.txt", "makertls.p7", false, "a certificate without code signing"},
        {"list.txt", "lookalike.p7", false, "the maker's name with a fullwidth first letter"},
        {"list.txt", "nulname.p7", false, "the maker's name, a NUL and more"},
        {"list.txt", "noattr.p7", false, "no signed messageDigest"},
        {"list.txt", "sha1.p7", false, "SHA-1"},
        {"missing.txt", "maker.p7", false, "no file"},
    };
    for (const Case& c : cases) {
        const SignedFile file(SignedTestFile(c.content), SignedTestFile(c.signature), 64 * 1024);
        EXPECT_EQ(file.Trusted(), c.trusted) << c.why;
        EXPECT_EQ(file.Bytes().size(), c.trusted ? ReadWholeFile(SignedTestFile(c.content)).size() : 0u) << c.why;
    }
    // Over the bound the file is refused, whatever its signature.
    EXPECT_FALSE(SignedFile(SignedTestFile("list.txt"), SignedTestFile("maker.p7"), 53).Trusted());
}

TEST(SignedFileTest, TheCheckedFileCannotBeChangedReplacedOrDeletedUntilReleased)
{
    TempFolderSandbox temp;
    const std::string path = temp.Path("kps_setup.iss");
    ASSERT_TRUE(CopyFileA(SignedTestFile("list.txt").c_str(), path.c_str(), FALSE));
    {
        const SignedFile held(path, SignedTestFile("maker.p7"), 64 * 1024);
        ASSERT_TRUE(held.Trusted());
        HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
        EXPECT_FALSE(DeleteFileA(path.c_str()));
        EXPECT_FALSE(MoveFileExA(temp.Path("other.iss").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
        // An installer reads it as it likes.
        EXPECT_EQ(ReadWholeFile(path), ReadWholeFile(SignedTestFile("list.txt")));
    }
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

}  // namespace
