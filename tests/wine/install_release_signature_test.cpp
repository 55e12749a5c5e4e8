// The check of the list's release signature and the machine's release state,
// on signatures made at build time with openssl
// (tests/wine/make-signed-files): only the pinned release keys themselves
// count, and no chain, date or carried certificate plays a part.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/signed_files.h"
#include "support/stored_serial.h"
#include "support/temp_folder_sandbox.h"
#include "trust/file_hash.h"
#include "trust/release_keys.h"
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

// A test-only P-384 key, pinned beside the build's two.
struct ExtraKey {
    std::vector<unsigned char> certificate = Bytes("p384.der");
    std::string pin;
    ReleaseKey key = {};
    ExtraKey()
    {
        const unsigned char* spki = nullptr;
        std::size_t size = 0;
        unsigned char digest[kSha256Bytes] = {};
        if (!CertificatePublicKeyInfo(certificate.data(), certificate.size(), spki, size) ||
            !Sha256OfBytes(spki, size, digest))
            return;
        static const char kHex[] = "0123456789abcdef";
        for (unsigned char b : digest)
            pin += std::string{kHex[b >> 4], kHex[b & 15]};
        key = {spki, size, pin.c_str()};
    }
};

TEST(ReleaseSignatureTest, OnlyAPinnedReleaseKeysOwnSignatureOverTheExactBytesIsTrusted)
{
    const ExtraKey p384;
    ASSERT_NE(p384.key.spki, nullptr);
    const ReleaseKey keys[] = {kReleaseKeys[0], kReleaseKeys[1], p384.key};
    const struct {
        const char* content;
        const char* signature;
        int signer;
        const char* why;
    } cases[] = {
        {"list.txt", "release.p7", 0, "the release key's signature"},
        {"list.txt", "next.p7", 1, "the second pinned key's"},
        {"list.txt", "nocert.p7", 0, "the release key's, without its certificate"},
        {"changed.txt", "release.p7", -1, "one byte appended after signing"},
        {"list.txt", "maker.p7", -1, "the maker's Authenticode certificate: not a pinned key"},
        {"list.txt", "foreign.p7", -1, "the release key's certificate named and carried, the maker's key signed"},
        {"list.txt", "md5rsa.p7", -1, "the release key's, its algorithm said to be md5WithRSAEncryption"},
        {"list.txt", "p384.p7", -1, "a pinned key's ECDSA on P-384"},
        {"list.txt", "twosigners.p7", -1, "two signers"},
        {"list.txt", "othertype.p7", -1, "a content type other than id-data"},
        {"list.txt", "noattr.p7", -1, "no signed messageDigest"},
        {"list.txt", "sha1.p7", -1, "SHA-1"},
        {"list.txt", "garbage.p7", -1, "not a signature"},
        {"list.txt", "missing.p7", -1, "no signature"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReleaseSigner(Bytes(c.content), Bytes(c.signature), keys, 3), c.signer) << c.why;
    // A build that pins only the second key refuses the first.
    EXPECT_EQ(ReleaseSigner(Bytes("list.txt"), Bytes("release.p7"), keys + 1, 1), -1);
    EXPECT_EQ(ReleaseSigner(Bytes("list.txt"), Bytes("next.p7"), keys + 1, 1), 0);
    // Key bytes that are not their pin are not the key the build named.
    const ReleaseKey misnamed = {kReleaseKeys[0].spki, kReleaseKeys[0].spkiSize, kReleaseKeys[1].pin};
    EXPECT_EQ(ReleaseSigner(Bytes("list.txt"), Bytes("release.p7"), &misnamed, 1), -1);
}

bool Accept(const std::string& list)
{
    return VerifiedRelease(SignedTestFile(list + ".txt"), SignedTestFile(list + ".txt.p7"), false,
                           ListSource::DefaultAddress).Accepted();
}

const uint64_t kNone = 0, kRetired = ~0ull;

uint64_t Stored(int key)
{
    uint64_t serial = kNone;
    return ReadStoredSerial(&serial, KeySerialValue(kReleaseKeys[key].pin)) ? serial : kNone;
}

TEST(ReleaseSignatureTest, EachKeysSerialMovesOnlyUpwardAndTheOtherKeyRetiresALeakedOne)
{
    const StoredSerialGuard guard;
    ASSERT_TRUE(RemoveStoredSerial());
    const struct {
        const char* list;
        bool accepted;
        uint64_t release, next;  // each key's stored value afterwards
        const char* why;
    } steps[] = {
        {"serial40", true, 40, kNone, "the release key's first list"},
        {"next30", true, 40, 30, "the next key keeps a serial of its own"},
        {"serial90", false, 40, 30, "a serial of 90 under serial 50's signature"},
        {"leaked999", true, 999999999999999999ull, 30, "a thief's highest serial"},
        {"next30", true, 999999999999999999ull, 30, "does not stop the next key"},
        {"serial50", false, 999999999999999999ull, 30, "rolled back"},
        {"selfretire", false, 999999999999999999ull, 30, "a key retiring itself"},
        {"next31retires", true, kRetired, 31, "the next key retires the leaked one"},
        {"leaked999", false, kRetired, 31, "a retired key's list, whatever its serial"},
        {"next30", false, kRetired, 31, "rolled back"},
        {"next31retires", true, kRetired, 31, "the same release again"},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(Accept(step.list), step.accepted) << step.list << ": " << step.why;
        EXPECT_EQ(Stored(0), step.release) << step.list;
        EXPECT_EQ(Stored(1), step.next) << step.list;
    }
    // A Japanese system refuses the English release, and stores nothing.
    ASSERT_TRUE(RemoveStoredSerial());
    EXPECT_FALSE(VerifiedRelease(SignedTestFile("serial50.txt"), SignedTestFile("serial50.txt.p7"), true,
                                 ListSource::DefaultAddress)
                     .Accepted());
    EXPECT_EQ(Stored(0), kNone);
}

TEST(ReleaseSignatureTest, AStoredValueOfTheWrongTypeOrSizeRefusesEveryList)
{
    const StoredSerialGuard guard;
    const std::string release = KeySerialValue(kReleaseKeys[0].pin);
    const std::string next = KeySerialValue(kReleaseKeys[1].pin);
    const uint64_t legacy45 = 45;
    const struct {
        std::string name;
        unsigned long type;
        std::string bytes;
        bool serial40, serial50, next30;
    } cases[] = {
        {next, REG_SZ, std::string("99", 3), false, false, false},
        {release, REG_QWORD, std::string(4, '\0'), false, false, false},
        {release, REG_DWORD, std::string(4, '\0'), false, false, false},
        {"", REG_SZ, std::string("99", 3), false, false, false},
        // The serial earlier versions kept is every key's floor until it has its own.
        {"", REG_QWORD, std::string(reinterpret_cast<const char*>(&legacy45), 8), false, true, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(RemoveStoredSerial());
        ASSERT_TRUE(WriteStoredValue(c.name, c.type, c.bytes));
        EXPECT_EQ(Accept("serial40"), c.serial40) << c.name << " type " << c.type;
        EXPECT_EQ(Accept("next30"), c.next30) << c.name << " type " << c.type;
        EXPECT_EQ(Accept("serial50"), c.serial50) << c.name << " type " << c.type;
    }
}

// A DACL of SYSTEM and Administrators full, Users read, nothing inherited.
TEST(ReleaseSignatureTest, TheStoreKeyIsTheAdministratorsAndItsLockCannotBeSquatted)
{
    const StoredSerialGuard guard;
    ASSERT_TRUE(RemoveStoredSerial());
    ASSERT_TRUE(Accept("serial40"));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kReleaseStoreKey, 0, READ_CONTROL | KEY_WOW64_64KEY, &key),
              ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR sd = nullptr;
    PACL dacl = nullptr;
    ASSERT_EQ(GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &sd),
              ERROR_SUCCESS);
    RegCloseKey(key);
    char* text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                     &text, nullptr));
    const std::string sddl(text);
    LocalFree(text);
    LocalFree(sd);
    EXPECT_EQ(sddl, "D:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)(A;OICI;KR;;;BU)");

    // A mutex of that name made first by anyone else (here owned by Users,
    // open to everyone) refuses the list rather than lock with its maker.
    PSECURITY_DESCRIPTOR squat = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BUD:(A;;GA;;;WD)", SDDL_REVISION_1, &squat,
                                                                     nullptr));
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, squat, FALSE};
    HANDLE squatter = CreateMutexA(&attributes, FALSE, kReleaseStoreMutex);
    LocalFree(squat);
    ASSERT_NE(squatter, nullptr);
    const VerifiedRelease refused(SignedTestFile("serial50.txt"), SignedTestFile("serial50.txt.p7"), false,
                                 ListSource::DefaultAddress);
    EXPECT_FALSE(refused.Accepted());
    EXPECT_NE(refused.Fault().find("lock"), std::string::npos) << refused.Fault();
    CloseHandle(squatter);
    EXPECT_TRUE(Accept("serial50"));
}

TEST(ReleaseSignatureTest, AnotherJudgmentWaitsForTheStoreHeld)
{
    const StoredSerialGuard guard;
    ASSERT_TRUE(RemoveStoredSerial());
    bool done = false;
    std::thread other;
    {
        ReleaseStore held(kReleaseKeys, kReleaseKeyCount);
        ASSERT_TRUE(held.Usable()) << held.Fault();
        other = std::thread([&] { done = Accept("serial40"); });
        Sleep(500);
        EXPECT_EQ(Stored(0), kNone) << "written while another held the store";
        held.Raise(0, 45);
    }
    other.join();
    EXPECT_FALSE(done) << "judged on what it read before the store was let go";
    EXPECT_EQ(Stored(0), 45u);
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
