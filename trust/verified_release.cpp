// Accepting a downloaded URL list: signature, release lines, clock, language
// and the machine's highest serial.
#include "trust/verified_release.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "common/win_handles.h"
#include "trust/release_pins.h"
#include "trust/release_signature.h"
#include "trust/release_store.h"

namespace {

bool ReadHeld(const std::string& path, unsigned long maxBytes, std::vector<unsigned char>& bytes)
{
    if (path.empty())
        return false;
    const DeviceHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid() && ReadBounded(file.Get(), maxBytes, bytes);
}

}  // namespace

long long UtcNow()
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = (unsigned long long)now.dwHighDateTime << 32 | now.dwLowDateTime;
    // 100 ns ticks since 1601; 11644473600 s lie between 1601 and 1970.
    return (long long)(ticks / 10000000ull) - 11644473600ll;
}

VerifiedRelease::VerifiedRelease(const std::string& listPath, const std::string& signaturePath, bool japaneseSystem,
                                 ListSource source, const unsigned long long* highestSerial)
{
    std::vector<unsigned char> content;
    std::vector<unsigned char> signature;
    if (!ReadHeld(listPath, kMaxUrlListBytes, content) || !ReadHeld(signaturePath, kMaxSignatureBytes, signature)) {
        fault = "the list or its signature cannot be read, or is too large";
        return;
    }
    const int signer = ReleaseSigner(content, signature, kReleaseKeys, kReleaseKeyCount);
    if (signer < 0) {
        fault = "the signature is not a pinned release key's over this list";
        return;
    }
    const UrlList checked(std::string(content.begin(), content.end()));
    Release lines;
    if (!ParseRelease(checked, lines, fault))
        return;
    release = lines;
    signerPin = kReleaseKeys[signer].pin;
    unsigned char pin[kSha256Bytes] = {};
    ParseSha256(signerPin, pin);
    if (highestSerial != nullptr) {
        accepted = Judged(JudgeRelease(lines, UtcNow(), japaneseSystem, source, *highestSerial, pin));
    } else {
        // Read, judged and written under the store's lock, so that a wizard
        // and a sheet never interleave, and a retirement counts at once.
        ReleaseStore store(kReleaseKeys, kReleaseKeyCount);
        if (!store.Usable()) {
            fault = store.Fault();
            return;
        }
        accepted = Judged(JudgeRelease(lines, UtcNow(), japaneseSystem, source,
                                          store.Highest(size_t(signer)), pin));
        if (!accepted)
            return;
        store.Raise(size_t(signer), lines.serial);
        // A pin this build does not hold needs nothing (a later DLL's list).
        for (std::size_t i = 0; lines.retires && i < kReleaseKeyCount; ++i) {
            unsigned char other[kSha256Bytes] = {};
            if (i != size_t(signer) && ParseSha256(kReleaseKeys[i].pin, other) &&
                std::memcmp(other, lines.retiredPin, kSha256Bytes) == 0)
                store.Raise(i, kRetiredSerial);
        }
    }
    if (accepted)
        list = checked;
}

bool VerifiedRelease::Judged(ReleaseVerdict verdict)
{
    if (verdict != ReleaseVerdict::Accepted)
        fault = std::string("the release is ") + ReleaseVerdictText(verdict);
    return verdict == ReleaseVerdict::Accepted;
}
