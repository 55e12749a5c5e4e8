// The release lines of a signed list: which lists are accepted, and the pins
// and DER structures the signature check reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "trust/release.h"
#include "trust/release_pins.h"

namespace {

const std::string kHash(64, 'a');
const std::string kOtherHash(64, 'b');
// 2030-01-01T00:00:00Z
const long long kNow = 1893456000;

// A well-formed English release naming KPS's two files, serial 100.
std::string Lines(const std::string& extra = "", const std::string& without = "")
{
    std::string text;
    const char* const lines[] = {"RELEASE_SERIAL,100",          "RELEASE_EXPIRES,2030-03-01T12:00:00Z",
                                 "RELEASE_LANGUAGE,en",         "KPS_ISS,kps/kps.iss",
                                 "KPS_EXE,kps/kps.exe",         "KPS_ISS_SIZE,65536",
                                 "NET_EXE_SIZE,1073741824",     "KPS_EXE_SIZE,1234"};
    for (const char* line : lines)
        if (without.empty() || std::string(line).compare(0, without.size() + 1, without + ",") != 0)
            text += std::string(line) + "\r\n";
    for (const char* key : {"KPS_ISS_SHA256,", "KPS_EXE_SHA256,", "NET_EXE_SHA256,"})
        if (without.empty() || std::string(key) != without + ",")
            text += key + kHash + "\n";
    return text + extra;
}

TEST(ReleaseLines, OnlyCompleteWellFormedUnambiguousLinesAreRead)
{
    const struct {
        std::string list;
        bool good;
        const char* why;
    } cases[] = {
        {Lines(), true, "complete"},
        {Lines("RELEASE_SERIAL,100\n"), true, "a line repeated with the same value"},
        {Lines("KL_EXE_SIZE,5\nKL_EXE_SHA256," + kHash), true, "the pair of a key the list does not name"},
        {Lines("RELEASE_SERIAL,101\n"), false, "the serial repeated with another value"},
        {Lines("KPS_EXE_SHA256," + kOtherHash), false, "a hash repeated with another value"},
        {Lines("", "RELEASE_SERIAL"), false, "no serial"},
        {Lines("", "RELEASE_EXPIRES"), false, "no expiry"},
        {Lines("", "RELEASE_LANGUAGE"), false, "no language"},
        {Lines("", "KPS_EXE_SHA256"), false, "a named file without its hash"},
        {Lines("", "KPS_ISS_SIZE"), false, "a named file without its size"},
        {Lines("", "NET_EXE_SHA256"), false, "no net installer"},
        {Lines("KL_EXE,kl.exe\n"), false, "a named file without either line"},
        {Lines("KL_EXE_SIZE,5\n"), false, "a size without its hash"},
        {Lines("KL_EXE_SHA256," + kHash.substr(1) + "\n"), false, "63 hex digits, even for an unnamed key"},
        {Lines("RELEASE_RETIRES," + kHash + "\nRELEASE_RETIRES," + kHash), true, "a retired pin, repeated alike"},
        {Lines("RELEASE_RETIRES," + kHash + "\nRELEASE_RETIRES," + kOtherHash), false, "two retired pins"},
        {Lines("RELEASE_RETIRES," + std::string(64, 'A')), false, "a pin in upper case"},
        {Lines("RELEASE_RETIRES,"), false, "an empty pin"},
    };
    for (const auto& c : cases) {
        Release release;
        std::string fault;
        EXPECT_EQ(ParseRelease(UrlList(c.list), release, fault), c.good) << c.why << ": " << fault;
        EXPECT_EQ(fault.empty(), c.good) << c.why;
    }
}

TEST(ReleaseLines, EachValueHasOneShapeAndSizesTheirCaps)
{
    const struct {
        const char* key;
        std::string value;
        bool good;
    } cases[] = {
        {"RELEASE_SERIAL", "0", true},
        {"RELEASE_SERIAL", std::string(18, '9'), true},
        {"RELEASE_SERIAL", std::string(19, '1'), false},
        {"RELEASE_SERIAL", "", false},
        {"RELEASE_SERIAL", "+5", false},
        {"RELEASE_SERIAL", "1e3", false},
        {"RELEASE_EXPIRES", "2028-02-29T23:59:59Z", true},
        {"RELEASE_EXPIRES", "2030-02-29T00:00:00Z", false},
        {"RELEASE_EXPIRES", "2030-13-01T00:00:00Z", false},
        {"RELEASE_EXPIRES", "2030-01-01T24:00:00Z", false},
        {"RELEASE_EXPIRES", "2030-01-01 00:00:00Z", false},
        {"RELEASE_EXPIRES", "2030-01-01T00:00:00+00:00", false},
        {"RELEASE_LANGUAGE", "ja", true},
        {"RELEASE_LANGUAGE", "EN", false},
        {"RELEASE_LANGUAGE", "all", true},
        {"RELEASE_LANGUAGE", "ALL", false},
        {"RELEASE_LANGUAGE", "de", false},
        {"KPS_EXE_SHA256", std::string(64, 'F'), false},
        {"KPS_EXE_SHA256", std::string(64, 'g'), false},
        {"KPS_EXE_SHA256", kHash + "0", false},
        {"KPS_ISS_SIZE", "65537", false},
        {"KPS_EXE_SIZE", "1073741824", true},
        {"KPS_EXE_SIZE", "1073741825", false},
        {"KPS_EXE_SIZE", "99999999999999999999", false},
        {"KPS_EXE_SIZE", "-1", false},
        {"NET_EXE_SIZE", "0", true},
    };
    for (const auto& c : cases) {
        Release release;
        std::string fault;
        const std::string list = Lines(std::string(c.key) + "," + c.value + "\n", c.key);
        EXPECT_EQ(ParseRelease(UrlList(list), release, fault), c.good) << c.key << "=" << c.value << ": " << fault;
    }
}

TEST(ReleaseLines, AcceptedOnlyUnexpiredInTheSystemsLanguageAndNotRolledBack)
{
    Release release;
    std::string fault;
    ASSERT_TRUE(ParseRelease(UrlList(Lines()), release, fault)) << fault;
    long long expires = 0;
    ASSERT_TRUE(ParseUtcTime("2030-03-01T12:00:00Z", expires));
    EXPECT_EQ(release.expires, expires);
    EXPECT_EQ(release.serial, 100u);
    EXPECT_EQ(release.files[KpsExe].size, 1234u);
    EXPECT_FALSE(release.files[KlExe].bound);
    unsigned char signer[kSha256Bytes] = {}, other[kSha256Bytes] = {};
    ASSERT_TRUE(ParseSha256(kHash, signer) && ParseSha256(kOtherHash, other));
    Release everyLanguage;
    ASSERT_TRUE(ParseRelease(UrlList(Lines("RELEASE_LANGUAGE,all\n", "RELEASE_LANGUAGE")), everyLanguage, fault));
    const ListSource byDefault = ListSource::DefaultAddress, configured = ListSource::ConfiguredAddress;
    const struct {
        const Release& release;
        long long now;
        bool japanese;
        ListSource source;
        unsigned long long highest;
        ReleaseVerdict verdict;
    } cases[] = {
        {release, kNow, false, byDefault, 99, ReleaseVerdict::Accepted},
        {release, kNow, false, byDefault, 100, ReleaseVerdict::Accepted},
        {release, kNow, false, byDefault, 101, ReleaseVerdict::RolledBack},
        {release, expires - 1, false, byDefault, 0, ReleaseVerdict::Accepted},
        {release, expires, false, byDefault, 0, ReleaseVerdict::Expired},
        {release, expires + 86400, false, byDefault, 0, ReleaseVerdict::Expired},
        {release, kNow, true, byDefault, 0, ReleaseVerdict::OtherLanguage},
        // A configured address still needs the system's language, or every one.
        {release, kNow, true, configured, 0, ReleaseVerdict::OtherLanguage},
        {release, kNow, false, configured, 0, ReleaseVerdict::Accepted},
        {everyLanguage, kNow, false, configured, 0, ReleaseVerdict::Accepted},
        {everyLanguage, kNow, true, configured, 0, ReleaseVerdict::Accepted},
        {everyLanguage, kNow, true, configured, 101, ReleaseVerdict::RolledBack},
        // The default lists stay bound to their own language.
        {everyLanguage, kNow, false, byDefault, 0, ReleaseVerdict::OtherLanguage},
        {everyLanguage, kNow, true, byDefault, 0, ReleaseVerdict::OtherLanguage},
        {release, kNow, false, byDefault, kRetiredSerial, ReleaseVerdict::SignerRetired},
        {release, kNow, false, byDefault, kRetiredSerial - 1, ReleaseVerdict::RolledBack},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JudgeRelease(c.release, c.now, c.japanese, c.source, c.highest, signer), c.verdict)
            << c.now << " " << c.japanese << " " << int(c.source) << " " << c.highest << " "
            << c.release.everyLanguage;
    // A release may retire the other key, never its own signer.
    Release retiring = release;
    retiring.retires = true;
    std::copy(other, other + kSha256Bytes, retiring.retiredPin);
    EXPECT_EQ(JudgeRelease(retiring, kNow, false, byDefault, 0, signer), ReleaseVerdict::Accepted);
    std::copy(signer, signer + kSha256Bytes, retiring.retiredPin);
    EXPECT_EQ(JudgeRelease(retiring, kNow, false, byDefault, 0, signer), ReleaseVerdict::RetiresItsSigner);
}

TEST(ReleaseLines, UtcTimesCountFrom1970)
{
    long long seconds = -1;
    ASSERT_TRUE(ParseUtcTime("1970-01-01T00:00:00Z", seconds));
    EXPECT_EQ(seconds, 0);
    ASSERT_TRUE(ParseUtcTime("2000-03-01T00:00:01Z", seconds));
    EXPECT_EQ(seconds, 951868801);
    ASSERT_TRUE(ParseUtcTime("2030-01-01T00:00:00Z", seconds));
    EXPECT_EQ(seconds, kNow);
}

TEST(ReleaseFiles, MatchOnlyTheBoundSizeAndHash)
{
    ReleaseFile file;
    unsigned char digest[kSha256Bytes] = {1, 2, 3};
    EXPECT_FALSE(MatchesRelease(file, 0, digest)) << "not bound";
    file.bound = true;
    file.size = 10;
    std::copy(digest, digest + kSha256Bytes, file.sha256);
    EXPECT_TRUE(MatchesRelease(file, 10, digest));
    EXPECT_FALSE(MatchesRelease(file, 11, digest));
    digest[31] ^= 1;
    EXPECT_FALSE(MatchesRelease(file, 10, digest));
}

TEST(ReleasePins, OneOrTwoLowercasePinsCompareWhole)
{
    unsigned char digest[kSha256Bytes];
    for (std::size_t i = 0; i < kSha256Bytes; ++i)
        digest[i] = static_cast<unsigned char>(0xA0 + i % 16);
    std::string pin;
    for (std::size_t i = 0; i < kSha256Bytes; ++i)
        pin += "a" + std::string(1, "0123456789abcdef"[i % 16]);
    std::string other = pin;
    other[63] = other[63] == '0' ? '1' : '0';
    const struct {
        std::string pins;
        bool pinned;
    } cases[] = {
        {pin, true},          {other + "," + pin, true}, {pin + "," + other, true}, {other, false},
        {other + "," + other, false}, {"", false},       {pin + ",", false},         {pin + ";" + other, false},
        {pin + "," + other + "," + pin, false},          {std::string(pin).replace(0, 2, "A0"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PinnedKey(digest, c.pins.c_str()), c.pinned) << c.pins;
    EXPECT_FALSE(PinnedKey(digest, nullptr));
}

TEST(ReleasePins, DerReadersRefuseEveryTruncationAndFindTheKey)
{
    // SEQUENCE { SEQUENCE { [0] { INT 2 }, INT 1, SEQ{}, SEQ{}, SEQ{}, SEQ{}, SEQ { 05 00 } } }
    const std::vector<unsigned char> certificate = {0x30, 0x16, 0x30, 0x14, 0xA0, 0x03, 0x02, 0x01, 0x02,
                                                    0x02, 0x01, 0x01, 0x30, 0x00, 0x30, 0x00, 0x30, 0x00,
                                                    0x30, 0x00, 0x30, 0x02, 0x05, 0x00};
    const unsigned char* spki = nullptr;
    std::size_t spkiSize = 0;
    ASSERT_TRUE(CertificatePublicKeyInfo(certificate.data(), certificate.size(), spki, spkiSize));
    EXPECT_EQ(spki, certificate.data() + 20);
    EXPECT_EQ(spkiSize, 4u);
    for (std::size_t size = 0; size < certificate.size(); ++size)
        EXPECT_FALSE(CertificatePublicKeyInfo(certificate.data(), size, spki, spkiSize)) << size;
    // A length that claims more than there is, and an indefinite (BER) one.
    std::vector<unsigned char> lying = certificate;
    lying[1] = 0x84;
    EXPECT_FALSE(CertificatePublicKeyInfo(lying.data(), lying.size(), spki, spkiSize));
    lying[1] = 0x80;
    EXPECT_FALSE(CertificatePublicKeyInfo(lying.data(), lying.size(), spki, spkiSize));

    // ContentInfo { signedData, [0] { SEQ { INT 1, SET {}, SEQ { OID id-data } } } }
    std::vector<unsigned char> message = {0x30, 0x22, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07,
                                          0x02, 0xA0, 0x14, 0x30, 0x12, 0x02, 0x01, 0x01, 0x31, 0x00, 0x30, 0x0B,
                                          0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
    message[1] = static_cast<unsigned char>(message.size() - 2);
    EXPECT_TRUE(SignedContentIsData(message.data(), message.size()));
    for (std::size_t size = 0; size < message.size(); ++size)
        EXPECT_FALSE(SignedContentIsData(message.data(), size)) << size;
    message.back() = 0x02;  // id-signedData as the content
    EXPECT_FALSE(SignedContentIsData(message.data(), message.size()));
}

std::vector<unsigned char> Hex(const std::string& text)
{
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

TEST(ReleasePins, OnlyRsaAndP256KeysAndPssWithSha256ThroughoutAreKnown)
{
    const struct {
        const char* spki;
        ReleaseKeyKind kind;
    } keys[] = {
        {"3012300d06092a864886f70d0101010500030100", ReleaseKeyKind::Rsa},
        {"3015301006072a8648ce3d020106052b81040022030100", ReleaseKeyKind::Other},  // P-384
        {"3018301306072a8648ce3d020106082a8648ce3d030107030100", ReleaseKeyKind::EcP256},
        {"3018301306072a8648ce3d020106082a8648ce3d030107030100ff", ReleaseKeyKind::Other},  // a byte more
        {"300a300506032b6570030100", ReleaseKeyKind::Other},  // Ed25519
    };
    for (const auto& c : keys) {
        const std::vector<unsigned char> spki = Hex(c.spki);
        EXPECT_EQ(KindOfKey(spki.data(), spki.size()), c.kind) << c.spki;
    }
    // SHA-256, MGF1 with SHA-256, salt 350 (openssl's default).
    const std::string pss = "3035a00f300d06096086480165030402010500a11c301a06092a864886f70d010108300d06096086480165"
                            "030402010500a2040202015e";
    const struct {
        std::string parameters;
        bool good;
    } cases[] = {
        {pss, true},
        {"302da00d300b0609608648016503040201a11c301a06092a864886f70d010108300d06096086480165030402010500", true},
        {"3000", false},  // all defaults: SHA-1
        {pss.substr(0, pss.size() - 2), false},
        {"3035a00f300d06096086480165030402020500" + pss.substr(38), false},  // SHA-384 as the hash
        {"3035a00f300d06096086480165030402010500a11c301a06092a864886f70d010108300d06096086480165030402020500"
         "a2040202015e",
         false},  // MGF1 with SHA-384
        {"3039" + pss.substr(4) + "a303020102", false},  // another trailer
    };
    for (const auto& c : cases) {
        const std::vector<unsigned char> parameters = Hex(c.parameters);
        EXPECT_EQ(PssWithSha256(parameters.data(), parameters.size()), c.good) << c.parameters;
    }
}

}  // namespace
