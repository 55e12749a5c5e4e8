// Release-key pins and the few DER structures their check reads. Pure.
#include "trust/release_pins.h"

#include <cstring>
#include <string>

#ifndef KUVANA_RELEASE_PINS
#error "KUVANA_RELEASE_PINS must name the release keys' pins (set by the build)"
#endif

const char kReleasePins[] = KUVANA_RELEASE_PINS;

namespace {

// One DER element: a single-byte tag and a definite length that fits.
struct Element {
    unsigned char tag = 0;
    const unsigned char* begin = nullptr;  // its tag
    const unsigned char* content = nullptr;
    std::size_t length = 0;
    const unsigned char* end = nullptr;  // just after the element
};

bool Read(const unsigned char* at, const unsigned char* limit, Element& element)
{
    if (at == nullptr || limit - at < 2 || (at[0] & 0x1F) == 0x1F)
        return false;
    element.tag = at[0];
    element.begin = at;
    std::size_t length = at[1];
    const unsigned char* content = at + 2;
    if (length & 0x80) {
        const std::size_t count = length & 0x7F;
        // No indefinite lengths (BER) and nothing above 4 GiB.
        if (count == 0 || count > 4 || std::size_t(limit - content) < count)
            return false;
        length = 0;
        for (std::size_t i = 0; i < count; ++i)
            length = (length << 8) | content[i];
        content += count;
    }
    if (std::size_t(limit - content) < length)
        return false;
    element.content = content;
    element.length = length;
    element.end = content + length;
    return true;
}

bool Inside(const Element& outer, Element& first)
{
    return Read(outer.content, outer.end, first);
}

bool Next(const Element& previous, const Element& outer, Element& next)
{
    return Read(previous.end, outer.end, next);
}

const unsigned char kSequence = 0x30;
const unsigned char kSet = 0x31;
const unsigned char kOid = 0x06;
const unsigned char kExplicit0 = 0xA0;
const unsigned char kSignedDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const unsigned char kDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};

bool IsOid(const Element& element, const unsigned char* oid, std::size_t size)
{
    return element.tag == kOid && element.length == size && std::memcmp(element.content, oid, size) == 0;
}

const unsigned char kRsaOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
const unsigned char kEcOid[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};
const unsigned char kP256Oid[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
const unsigned char kSha256Oid[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
const unsigned char kMgf1Oid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x08};
const unsigned char kNull = 0x05;

// An AlgorithmIdentifier of SHA-256, its parameters absent or NULL.
bool IsSha256(const Element& algorithm)
{
    Element oid, parameters;
    if (algorithm.tag != kSequence || !Inside(algorithm, oid) || !IsOid(oid, kSha256Oid, sizeof kSha256Oid))
        return false;
    if (oid.end == algorithm.end)
        return true;
    return Next(oid, algorithm, parameters) && parameters.tag == kNull && parameters.length == 0 &&
           parameters.end == algorithm.end;
}

}  // namespace

bool PinnedKey(const unsigned char (&digest)[kSha256Bytes], const char* pins)
{
    if (pins == nullptr)
        return false;
    const std::string text(pins);
    const std::size_t pinLength = 2 * kSha256Bytes;
    // "pin" or "pin,pin", nothing else.
    if (text.size() != pinLength && !(text.size() == 2 * pinLength + 1 && text[pinLength] == ','))
        return false;
    bool matched = false;
    for (std::size_t start = 0; start < text.size(); start += pinLength + 1) {
        unsigned char pin[kSha256Bytes] = {};
        if (!ParseSha256(text.substr(start, pinLength), pin))
            return false;
        matched = matched || std::memcmp(pin, digest, kSha256Bytes) == 0;
    }
    return matched;
}

bool CertificatePublicKeyInfo(const unsigned char* certificate, std::size_t size, const unsigned char*& spki,
                              std::size_t& spkiSize)
{
    Element whole, tbs, field;
    if (!Read(certificate, certificate + size, whole) || whole.tag != kSequence || !Inside(whole, tbs) ||
        tbs.tag != kSequence || !Inside(tbs, field))
        return false;
    // [0] version (optional), serial, signature, issuer, validity, subject, key.
    int skip = field.tag == kExplicit0 ? 6 : 5;
    while (skip-- > 0)
        if (!Next(field, tbs, field))
            return false;
    if (field.tag != kSequence)
        return false;
    // The whole element, tag and length included: that is what the pin hashes.
    spki = field.begin;
    spkiSize = std::size_t(field.end - field.begin);
    return true;
}

bool SignedContentIsData(const unsigned char* message, std::size_t size)
{
    Element info, type, wrapper, signedData, field;
    if (!Read(message, message + size, info) || info.tag != kSequence || !Inside(info, type) ||
        !IsOid(type, kSignedDataOid, sizeof kSignedDataOid) || !Next(type, info, wrapper) ||
        wrapper.tag != kExplicit0 || !Inside(wrapper, signedData) || signedData.tag != kSequence ||
        !Inside(signedData, field))
        return false;
    // version, digestAlgorithms, encapContentInfo.
    Element algorithms, encapsulated, contentType;
    return Next(field, signedData, algorithms) && algorithms.tag == kSet &&
           Next(algorithms, signedData, encapsulated) && encapsulated.tag == kSequence &&
           Inside(encapsulated, contentType) && IsOid(contentType, kDataOid, sizeof kDataOid);
}

ReleaseKeyKind KindOfKey(const unsigned char* spki, std::size_t size)
{
    Element whole, algorithm, oid, parameters;
    if (!Read(spki, spki + size, whole) || whole.tag != kSequence || whole.end != spki + size ||
        !Inside(whole, algorithm) || algorithm.tag != kSequence || !Inside(algorithm, oid))
        return ReleaseKeyKind::Other;
    if (IsOid(oid, kRsaOid, sizeof kRsaOid))
        return ReleaseKeyKind::Rsa;
    if (IsOid(oid, kEcOid, sizeof kEcOid) && Next(oid, algorithm, parameters) &&
        IsOid(parameters, kP256Oid, sizeof kP256Oid))
        return ReleaseKeyKind::EcP256;
    return ReleaseKeyKind::Other;
}

bool PssWithSha256(const unsigned char* parameters, std::size_t size)
{
    // SEQUENCE { [0] hash, [1] MGF1 { hash }, [2] salt length (optional), [3] trailer (absent: 1) }
    Element whole, field, inner, mgf, mgfOid, mgfHash;
    if (parameters == nullptr || !Read(parameters, parameters + size, whole) || whole.tag != kSequence ||
        whole.end != parameters + size || !Inside(whole, field) || field.tag != kExplicit0 || !Inside(field, inner) ||
        !IsSha256(inner) || !Next(field, whole, field) || field.tag != 0xA1 || !Inside(field, mgf) ||
        mgf.tag != kSequence || !Inside(mgf, mgfOid) || !IsOid(mgfOid, kMgf1Oid, sizeof kMgf1Oid) ||
        !Next(mgfOid, mgf, mgfHash) || !IsSha256(mgfHash))
        return false;
    while (field.end != whole.end) {
        if (!Next(field, whole, field) || field.tag != 0xA2)
            return false;  // only a salt length may follow; no other trailer
    }
    return true;
}
