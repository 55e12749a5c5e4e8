// The release lines of a signed URL list: what binds every file the list
// names to its size and SHA-256, the list to a language, a time and a serial
// that never goes down. Pure: no Windows calls.
#ifndef KUVANA_TRUST_RELEASE_H
#define KUVANA_TRUST_RELEASE_H

#include <cstddef>
#include <string>

#include "trust/release_caps.h"
#include "trust/url_list.h"

constexpr std::size_t kSha256Bytes = 32;

// The files a release binds, in the list's key order, the net installer last.
enum ReleaseFileKey { KpsIss, KpsExe, KlIss, KlExe, PcscBIss, PcscBExe, NetExe, kReleaseFileCount };

// The list key of a file ("KPS_ISS", ..., "NET_EXE").
const char* ReleaseFileKeyName(ReleaseFileKey key);
// The largest size a release may name for it: kMaxResponseBytes for a
// response file, kMaxInstallerBytes for an installer.
unsigned long long ReleaseFileCap(ReleaseFileKey key);

struct ReleaseFile {
    bool bound = false;  // the list names the file and its size and hash
    unsigned long long size = 0;
    unsigned char sha256[kSha256Bytes] = {};
};

struct Release {
    unsigned long long serial = 0;
    long long expires = 0;  // seconds since 1970-01-01T00:00:00Z
    std::string expiresText;
    bool japanese = false;
    // RELEASE_LANGUAGE,all: one list for every language, which only an
    // address an administrator configured may serve.
    bool everyLanguage = false;
    ReleaseFile files[kReleaseFileCount];
    // RELEASE_RETIRES: the pin of a release key this machine is to refuse
    // from now on (the vendor's way back after a key leaked).
    bool retires = false;
    unsigned char retiredPin[kSha256Bytes] = {};
};

// What a machine keeps for a retired key in place of its highest serial:
// above every serial a list can name, so nothing that key signs passes.
constexpr unsigned long long kRetiredSerial = ~0ull;

// Reads the release lines of `list` into `release`. False, with the first
// fault in `fault`, when a line is missing (the serial, the expiry, the
// language, NET_EXE's pair, or the pair of a file key the list names), is
// malformed, names a size above its cap, or is repeated with another value.
// RELEASE_RETIRES may be left out.
bool ParseRelease(const UrlList& list, Release& release, std::string& fault);

enum class ReleaseVerdict { Accepted, SignerRetired, RetiresItsSigner, Expired, OtherLanguage, RolledBack };

// Where the list came from: the default address of the system's language, or
// the address the "URL List" setting names.
enum class ListSource { DefaultAddress, ConfiguredAddress };

// Whether a well-formed release signed by the key `signerPin` may be used
// now: that key not retired (`signerHighest`, the highest serial this
// machine accepted from it, is not kRetiredSerial), the release not retiring
// its own signer, its expiry later than `now` (seconds since 1970, UTC), its
// language the system's (or every language, from a configured address only:
// the default lists stay bound to their own) and its serial not below
// `signerHighest`.
ReleaseVerdict JudgeRelease(const Release& release, long long now, bool japaneseSystem, ListSource source,
                            unsigned long long signerHighest, const unsigned char (&signerPin)[kSha256Bytes]);
const char* ReleaseVerdictText(ReleaseVerdict verdict);

// "YYYY-MM-DDThh:mm:ssZ" to seconds since 1970; false when malformed or not a
// real date and time.
bool ParseUtcTime(const std::string& text, long long& seconds);

// Exactly 64 lowercase hex digits into a digest; false otherwise.
bool ParseSha256(const std::string& text, unsigned char (&digest)[kSha256Bytes]);

// Whether `size` bytes hashing to `sha256` are the file the release names.
bool MatchesRelease(const ReleaseFile& file, unsigned long long size, const unsigned char (&sha256)[kSha256Bytes]);

#endif
