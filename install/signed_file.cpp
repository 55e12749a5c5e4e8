// The check of a steering file's detached signature.
#include "install/signed_file.h"

#include <bcrypt.h>
#include <wincrypt.h>

#include <cstring>

#include "install/trusted_start.h"

const char kSignatureSuffix[] = ".p7";

std::string SignatureAddress(const std::string& url)
{
    return url.empty() ? std::string() : url + kSignatureSuffix;
}

std::string SignatureName(const std::string& fileName)
{
    return fileName.empty() ? std::string() : fileName + kSignatureSuffix;
}

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
const size_t kSha256Bytes = 32;

// Reads at most `maxBytes` from the start of `file`; false when there is more.
bool ReadBounded(HANDLE file, unsigned long maxBytes, std::vector<unsigned char>& out)
{
    out.assign(size_t(maxBytes) + 1, 0);
    size_t have = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, out.data() + have, DWORD(out.size() - have), &got, nullptr))
            return false;
        if (got == 0)
            break;
        have += got;
        if (have == out.size())
            return false;
    }
    out.resize(have);
    return true;
}

bool ReadWholeSmallFile(const std::string& path, unsigned long maxBytes, std::vector<unsigned char>& out)
{
    const DeviceHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid() && ReadBounded(file.Get(), maxBytes, out);
}

bool Sha256(const std::vector<unsigned char>& data, unsigned char (&digest)[kSha256Bytes])
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool done = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    done = done && BCryptHashData(hash, const_cast<PUCHAR>(data.data()), ULONG(data.size()), 0) == 0 &&
           BCryptFinishHash(hash, digest, ULONG(kSha256Bytes), 0) == 0;
    if (hash != nullptr)
        BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return done;
}

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

// The first signer's digest is SHA-256 and its signed messageDigest attribute
// equals `digest`. Some verifiers (Wine's among them) check the signature
// over the signed attributes but never compare that attribute with the content.
bool SignedDigestMatches(HCRYPTMSG message, const unsigned char (&digest)[kSha256Bytes])
{
    std::vector<unsigned char> infoBuffer;
    if (!GetParam(message, CMSG_SIGNER_INFO_PARAM, infoBuffer))
        return false;
    const CMSG_SIGNER_INFO* info = reinterpret_cast<const CMSG_SIGNER_INFO*>(infoBuffer.data());
    if (info->HashAlgorithm.pszObjId == nullptr || std::strcmp(info->HashAlgorithm.pszObjId, szOID_NIST_sha256) != 0)
        return false;
    const CRYPT_ATTRIBUTE* found = nullptr;
    for (DWORD i = 0; i < info->AuthAttrs.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = info->AuthAttrs.rgAttr[i];
        if (attribute.pszObjId == nullptr || std::strcmp(attribute.pszObjId, szOID_RSA_messageDigest) != 0)
            continue;
        // One messageDigest attribute with one value, or the signature is malformed.
        if (found != nullptr || attribute.cValue != 1)
            return false;
        found = &attribute;
    }
    if (found == nullptr)
        return false;
    BYTE decodedValue[128] = {};
    DWORD size = sizeof decodedValue;
    if (!CryptDecodeObject(kEncoding, X509_OCTET_STRING, found->rgValue[0].pbData, found->rgValue[0].cbData, 0,
                           decodedValue, &size))
        return false;
    const CRYPT_DATA_BLOB* value = reinterpret_cast<const CRYPT_DATA_BLOB*>(decodedValue);
    return value->cbData == kSha256Bytes && std::memcmp(value->pbData, digest, kSha256Bytes) == 0;
}

// The signer's certificate is for code signing and chains to a trusted root.
// Revocation is checked below the root: a revoked certificate fails, while
// one whose revocation server cannot be reached passes, as the installer it
// steers then meets its own check. Every other fault in the chain fails,
// whether or not the policy reports it (Wine's base policy passes a chain
// that ends in an unknown root).
bool ChainsToTrustedRoot(PCCERT_CONTEXT signer, HCERTSTORE messageCertificates)
{
    char codeSigning[] = szOID_PKIX_KP_CODE_SIGNING;
    LPSTR usages[] = {codeSigning};
    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    // The message's own certificates may supply the intermediates.
    if (!CertGetCertificateChain(nullptr, signer, nullptr, messageCertificates, &chainPara,
                                 CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT, nullptr, &chain))
        return false;
    const DWORD unreachableRevocation = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    CERT_CHAIN_POLICY_PARA policyPara = {};
    policyPara.cbSize = sizeof policyPara;
    policyPara.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof status;
    const bool trusted = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_BASE, chain, &policyPara, &status) &&
                         status.dwError == 0 && (chain->TrustStatus.dwErrorStatus & ~unreachableRevocation) == 0;
    CertFreeCertificateChain(chain);
    return trusted;
}

}  // namespace

bool SignatureTrusted(const std::vector<unsigned char>& content, const std::vector<unsigned char>& signature)
{
    if (signature.empty())
        return false;
    unsigned char digest[kSha256Bytes] = {};
    MessageHandle decoded;
    decoded.message = CryptMsgOpenToDecode(kEncoding, CMSG_DETACHED_FLAG, 0, 0, nullptr, nullptr);
    if (!Sha256(content, digest) || decoded.message == nullptr ||
        !CryptMsgUpdate(decoded.message, signature.data(), DWORD(signature.size()), TRUE) ||
        !SignedDigestMatches(decoded.message, digest))
        return false;
    CRYPT_VERIFY_MESSAGE_PARA para = {};
    para.cbSize = sizeof para;
    para.dwMsgAndCertEncodingType = kEncoding;
    static const BYTE kNothing = 0;
    const BYTE* parts[] = {content.empty() ? &kNothing : content.data()};
    DWORD sizes[] = {DWORD(content.size())};
    PCCERT_CONTEXT signer = nullptr;
    if (!CryptVerifyDetachedMessageSignature(&para, 0, signature.data(), DWORD(signature.size()), 1, parts, sizes,
                                             &signer) ||
        signer == nullptr)
        return false;
    // The message's own certificates, from our decoding: Wine's chain engine
    // loops without end when given the store the signer's context came from.
    HCERTSTORE certificates = CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, decoded.message);
    const bool trusted =
        certificates != nullptr && IsMakersCertificate(signer) && ChainsToTrustedRoot(signer, certificates);
    if (certificates != nullptr)
        CertCloseStore(certificates, 0);
    CertFreeCertificateContext(signer);
    return trusted;
}

SignedFile::SignedFile(const std::string& path, const std::string& signaturePath, unsigned long maxBytes)
    : trusted(false)
{
    if (path.empty() || signaturePath.empty())
        return;
    file.Reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return;
    std::vector<unsigned char> content;
    std::vector<unsigned char> signature;
    if (!ReadBounded(file.Get(), maxBytes, content) || !ReadWholeSmallFile(signaturePath, kMaxSignatureBytes, signature))
        return;
    trusted = SignatureTrusted(content, signature);
    if (trusted)
        bytes.swap(content);
}
