// The check of the list's detached release signature.
#include "trust/release_signature.h"

#include <wincrypt.h>

#include <cstring>

#include "trust/file_hash.h"
#include "trust/release_pins.h"

const char kSignatureSuffix[] = ".p7";

std::string SignatureAddress(const std::string& url)
{
    return url.empty() ? std::string() : url + kSignatureSuffix;
}

std::string SignatureName(const std::string& fileName)
{
    return fileName.empty() ? std::string() : fileName + kSignatureSuffix;
}

bool ReadBounded(HANDLE file, unsigned long maxBytes, std::vector<unsigned char>& out)
{
    out.assign(size_t(maxBytes) + 1, 0);
    size_t have = 0;
    for (;;) {
        OVERLAPPED at = {};
        at.Offset = DWORD(have);
        DWORD got = 0;
        if (!ReadFile(file, out.data() + have, DWORD(out.size() - have), &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF)
                break;
            return false;
        }
        if (got == 0)
            break;
        have += got;
        if (have == out.size())
            return false;
    }
    out.resize(have);
    return true;
}

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// The DER of the id-data object identifier, as a contentType attribute holds it.
const unsigned char kDataOidDer[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};

// Closes a decoded message on every path out.
struct MessageHandle {
    HCRYPTMSG message = nullptr;
    ~MessageHandle()
    {
        if (message != nullptr)
            CryptMsgClose(message);
    }
};

bool GetParam(HCRYPTMSG message, DWORD param, std::vector<unsigned char>& out)
{
    DWORD size = 0;
    if (!CryptMsgGetParam(message, param, 0, nullptr, &size) || size == 0)
        return false;
    out.assign(size, 0);
    return CryptMsgGetParam(message, param, 0, out.data(), &size) != FALSE;
}

bool OneSigner(HCRYPTMSG message)
{
    DWORD count = 0;
    DWORD size = sizeof count;
    return CryptMsgGetParam(message, CMSG_SIGNER_COUNT_PARAM, 0, &count, &size) && count == 1;
}

// The one value of the signed attribute `oid`; null when it is missing, or
// given twice or with several values (a malformed signature).
const CRYPT_ATTR_BLOB* OnlyValue(const CMSG_SIGNER_INFO& info, const char* oid)
{
    const CRYPT_ATTR_BLOB* found = nullptr;
    for (DWORD i = 0; i < info.AuthAttrs.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = info.AuthAttrs.rgAttr[i];
        if (attribute.pszObjId == nullptr || std::strcmp(attribute.pszObjId, oid) != 0)
            continue;
        if (found != nullptr || attribute.cValue != 1)
            return nullptr;
        found = &attribute.rgValue[0];
    }
    return found;
}

// SHA-256 as digest, a messageDigest attribute equal to `digest` and a
// contentType attribute saying id-data.
bool SignedAttributesMatch(const CMSG_SIGNER_INFO& info, const unsigned char (&digest)[kSha256Bytes])
{
    if (info.HashAlgorithm.pszObjId == nullptr || std::strcmp(info.HashAlgorithm.pszObjId, szOID_NIST_sha256) != 0)
        return false;
    const CRYPT_ATTR_BLOB* type = OnlyValue(info, szOID_RSA_contentType);
    if (type == nullptr || type->cbData != sizeof kDataOidDer ||
        std::memcmp(type->pbData, kDataOidDer, sizeof kDataOidDer) != 0)
        return false;
    const CRYPT_ATTR_BLOB* found = OnlyValue(info, szOID_RSA_messageDigest);
    if (found == nullptr)
        return false;
    BYTE decodedValue[128] = {};
    DWORD size = sizeof decodedValue;
    if (!CryptDecodeObject(kEncoding, X509_OCTET_STRING, found->pbData, found->cbData, 0, decodedValue, &size))
        return false;
    const CRYPT_DATA_BLOB* value = reinterpret_cast<const CRYPT_DATA_BLOB*>(decodedValue);
    return value->cbData == kSha256Bytes && std::memcmp(value->pbData, digest, kSha256Bytes) == 0;
}

bool Is(const char* oid, const char* expected)
{
    return oid != nullptr && std::strcmp(oid, expected) == 0;
}

// Whether the signer's signature algorithm is one this key may make: what
// the platform would do with any other is not ours to depend on.
bool AlgorithmFits(const CMSG_SIGNER_INFO& info, const ReleaseKey& key)
{
    const CRYPT_ALGORITHM_IDENTIFIER& algorithm = info.HashEncryptionAlgorithm;
    switch (KindOfKey(key.spki, key.spkiSize)) {
    case ReleaseKeyKind::Rsa:
        return Is(algorithm.pszObjId, szOID_RSA_RSA) || Is(algorithm.pszObjId, szOID_RSA_SHA256RSA) ||
               (Is(algorithm.pszObjId, szOID_RSA_SSA_PSS) &&
                PssWithSha256(algorithm.Parameters.pbData, algorithm.Parameters.cbData));
    case ReleaseKeyKind::EcP256:
        return Is(algorithm.pszObjId, szOID_ECDSA_SHA256) || Is(algorithm.pszObjId, szOID_ECC_PUBLIC_KEY);
    case ReleaseKeyKind::Other:
        break;
    }
    return false;
}

// The signature of signer 0 verified against `key` alone.
bool SignedBy(HCRYPTMSG message, const ReleaseKey& key)
{
    unsigned char digest[kSha256Bytes] = {};
    // A key whose bytes are not its pin is not the key the build named.
    if (!Sha256OfBytes(key.spki, key.spkiSize, digest) || !PinnedKey(digest, key.pin))
        return false;
    DWORD size = 0;
    if (!CryptDecodeObject(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key.spki, DWORD(key.spkiSize), 0, nullptr,
                           &size))
        return false;
    std::vector<unsigned char> decoded(size);
    if (!CryptDecodeObject(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key.spki, DWORD(key.spkiSize), 0,
                           decoded.data(), &size))
        return false;
    CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA para = {};
    para.cbSize = sizeof para;
    para.dwSignerIndex = 0;
    para.dwSignerType = CMSG_VERIFY_SIGNER_PUBKEY;
    para.pvSigner = decoded.data();
    return CryptMsgControl(message, 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &para) != FALSE;
}

}  // namespace

int ReleaseSigner(const std::vector<unsigned char>& content, const std::vector<unsigned char>& signature,
                  const ReleaseKey* keys, std::size_t keyCount)
{
    if (signature.empty() || !SignedContentIsData(signature.data(), signature.size()))
        return -1;
    unsigned char digest[kSha256Bytes] = {};
    MessageHandle decoded;
    decoded.message = CryptMsgOpenToDecode(kEncoding, CMSG_DETACHED_FLAG, 0, 0, nullptr, nullptr);
    static const BYTE kNothing = 0;
    std::vector<unsigned char> infoBuffer;
    // The detached content follows the message.
    if (!Sha256OfBytes(content.data(), content.size(), digest) || decoded.message == nullptr ||
        !CryptMsgUpdate(decoded.message, signature.data(), DWORD(signature.size()), TRUE) ||
        !CryptMsgUpdate(decoded.message, content.empty() ? &kNothing : content.data(), DWORD(content.size()),
                        TRUE) ||
        !OneSigner(decoded.message) || !GetParam(decoded.message, CMSG_SIGNER_INFO_PARAM, infoBuffer))
        return -1;
    const CMSG_SIGNER_INFO& info = *reinterpret_cast<const CMSG_SIGNER_INFO*>(infoBuffer.data());
    if (!SignedAttributesMatch(info, digest))
        return -1;
    for (std::size_t i = 0; i < keyCount; ++i)
        if (AlgorithmFits(info, keys[i]) && SignedBy(decoded.message, keys[i]))
            return int(i);
    return -1;
}
