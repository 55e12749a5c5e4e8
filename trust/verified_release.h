// A downloaded URL list that the maker's release key signed and whose release
// lines this machine accepts now: the one source of every address, size and
// hash the install sequence and the net installer use.
#ifndef KUVANA_TRUST_VERIFIED_RELEASE_H
#define KUVANA_TRUST_VERIFIED_RELEASE_H

#include <string>

#include "trust/release.h"
#include "trust/url_list.h"

class VerifiedRelease {
public:
    // Reads the list (at most kMaxUrlListBytes) and its signature once, each
    // through a handle that lets nobody write meanwhile, and accepts the list
    // only when its signature is a pinned release key's, that key is not
    // retired, its release lines are all there and well formed, it has not
    // expired, its language is the system's (`japaneseSystem`; every language
    // only from a configured address, `source`) and its serial is not below
    // the highest this machine accepted from that key. An accepted list raises
    // that serial and retires the other key it names in RELEASE_RETIRES. A
    // stored state that cannot be read refuses every list. With
    // `highestSerial` given, that number stands for every key's and nothing
    // is read or stored (the release check).
    VerifiedRelease(const std::string& listPath, const std::string& signaturePath, bool japaneseSystem,
                    ListSource source, const unsigned long long* highestSerial = nullptr);

    bool Accepted() const { return accepted; }
    // Why the list was refused; empty when accepted.
    const std::string& Fault() const { return fault; }
    // The checked entries; empty unless accepted.
    const UrlList& List() const { return list; }
    // The release lines, once the signature is good and they are well formed.
    const Release& Lines() const { return release; }
    // The pin of the key that signed it, once the signature is good.
    const char* SignerPin() const { return signerPin; }

private:
    bool accepted = false;
    std::string fault;
    UrlList list;
    Release release;
    const char* signerPin = "";

    bool Judged(ReleaseVerdict verdict);
};

// The system clock as seconds since 1970-01-01T00:00:00Z.
long long UtcNow();

#endif
