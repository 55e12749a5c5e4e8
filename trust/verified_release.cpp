// Accepting a downloaded URL list: signature, release lines, clock, language
// and the machine's highest serial.
#include "trust/verified_release.h"

#include <windows.h>

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
    if (!ReleaseSignatureTrusted(content, signature, kReleasePins)) {
        fault = "the signature is not the release key's over this list";
        return;
    }
    const UrlList checked(std::string(content.begin(), content.end()));
    Release lines;
    if (!ParseRelease(checked, lines, fault))
        return;
    release = lines;
    const unsigned long long highest = highestSerial != nullptr ? *highestSerial : ReadHighestSerial();
    const ReleaseVerdict verdict = JudgeRelease(lines, UtcNow(), japaneseSystem, source, highest);
    if (verdict != ReleaseVerdict::Accepted) {
        fault = std::string("the release is ") + ReleaseVerdictText(verdict);
        return;
    }
    // Stored only now that every check has passed, and only upward.
    if (highestSerial == nullptr)
        RaiseHighestSerial(lines.serial);
    list = checked;
    accepted = true;
}
