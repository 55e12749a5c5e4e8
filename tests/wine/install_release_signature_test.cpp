// The check of the list's release signature and the machine's highest
// serial, on signatures made at build time with openssl
// (tests/wine/make-signed-files): only the pinned release keys count, and no
// chain or date plays a part.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/signed_files.h"
#include "support/stored_serial.h"
#include "support/temp_folder_sandbox.h"
#include "trust/file_hash.h"
#include "trust/release_pins.h"
#include "trust/release_signature.h"
#include "trust/release_store.h"
#include "trust/verified_release.h"

namespace {

std::vector<unsigned char> Bytes(const std::string& name)
{
    const std::string content = ReadWholeFile(SignedTestFile(name));
    return std::vector<unsigned char>(content.begin(), content.end());
}

TEST(ReleaseSignatureTest, OnlyAPinnedReleaseKeysSignatureOverTheExactBytesIsTrusted)
{
    const struct {
        const char* content;
        const char* signature;
        bool trusted;
        const char* why;
    } cases[] = {
        {"list.txt", "release.p7", true, "the release key's signature"},
        {"list.txt", "next.p7", true, "the second pinned key's"},
        {"changed.txt", "release.p7", false, "one byte appended after signing"},
        {"list.txt", "maker.p7", false, "the maker's Authenticode certificate: not a pinned key"},
        {"list.txt", "twosigners.p7", false, "two signers"},
        {"list.txt", "othertype.p7", false, "a content type other than id-data"},
        {"list.txt", "noattr.p7", false, "no signed messageDigest"},
        {"list.txt", "sha1.p7", false, "SHA-1"},
        {"list.txt", "garbage.p7", false, "not a signature"},
        {"list.txt", "missing.p7", false, "no signature"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReleaseSignatureTrusted(Bytes(c.content), Bytes(c.signature), kReleasePins), c.trusted) << c.why;
    // A build that pins only the second key refuses the first.
    const std::string nextOnly(kReleasePins + 65);
    EXPECT_FALSE(ReleaseSignatureTrusted(Bytes("list.txt"), Bytes("release.p7"), nextOnly.c_str()));
    EXPECT_TRUE(ReleaseSignatureTrusted(Bytes("list.txt"), Bytes("next.p7"), nextOnly.c_str()));
}

TEST(ReleaseSignatureTest, TheStoredSerialMovesOnlyUpwardAndOnlyAfterAGoodList)
{
    const StoredSerialGuard guard;
    ASSERT_TRUE(RemoveStoredSerial());
    auto accept = [](const char* list) {
        return VerifiedRelease(SignedTestFile(list), SignedTestFile(std::string(list) + ".p7"), false,
                               ListSource::DefaultAddress).Accepted();
    };
    EXPECT_TRUE(accept("serial40.txt"));
    EXPECT_EQ(ReadHighestSerial(), 40u);
    EXPECT_FALSE(accept("serial90.txt")) << "a serial of 90 under serial 50's signature";
    EXPECT_EQ(ReadHighestSerial(), 40u);
    EXPECT_TRUE(accept("serial50.txt"));
    EXPECT_EQ(ReadHighestSerial(), 50u);
    EXPECT_TRUE(accept("serial50.txt")) << "the same release again";
    EXPECT_FALSE(accept("serial40.txt")) << "rolled back";
    EXPECT_EQ(ReadHighestSerial(), 50u);
    // A Japanese system refuses the English release, and stores nothing.
    ASSERT_TRUE(RemoveStoredSerial());
    EXPECT_FALSE(VerifiedRelease(SignedTestFile("serial50.txt"), SignedTestFile("serial50.txt.p7"), true,
                                 ListSource::DefaultAddress).Accepted());
    EXPECT_EQ(ReadHighestSerial(), 0u);
    // A value of another type counts as none and is replaced.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kReleaseStoreKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key),
              ERROR_SUCCESS);
    RegSetValueExA(key, kReleaseSerialValue, 0, REG_SZ, reinterpret_cast<const BYTE*>("99"), 3);
    RegCloseKey(key);
    EXPECT_TRUE(accept("serial40.txt"));
    EXPECT_EQ(ReadHighestSerial(), 40u);
}

// The standard's own answers (FIPS 180-2 examples), through the system provider
// both as bytes and as a held file read in pieces.
TEST(Sha256Test, KnownAnswersOverBytesAndOverAHeldFile)
{
    const struct {
        std::string input;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    auto hex = [](const unsigned char (&digest)[kSha256Bytes]) {
        std::string text;
        for (unsigned char b : digest) {
            text += "0123456789abcdef"[b >> 4];
            text += "0123456789abcdef"[b & 15];
        }
        return text;
    };
    wchar_t folder[MAX_PATH] = {}, path[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
    for (const auto& c : cases) {
        unsigned char digest[kSha256Bytes] = {};
        ASSERT_TRUE(Sha256OfBytes(reinterpret_cast<const unsigned char*>(c.input.data()), c.input.size(), digest));
        EXPECT_EQ(hex(digest), c.digest) << c.input.size() << " bytes";
        ASSERT_NE(GetTempFileNameW(folder, L"sha", 0, path), 0u);
        HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, c.input.data(), DWORD(c.input.size()), &written, nullptr);
        unsigned long long size = 0;
        unsigned char fromFile[kSha256Bytes] = {};
        EXPECT_TRUE(Sha256OfFile(file, c.input.size(), fromFile, size));
        CloseHandle(file);
        EXPECT_EQ(size, c.input.size());
        EXPECT_EQ(hex(fromFile), c.digest) << c.input.size() << " bytes, from a file";
    }
}

}  // namespace
