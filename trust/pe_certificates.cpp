// The certificate table's place and shape. Pure: no Windows calls.
#include "trust/pe_certificates.h"

namespace {

std::uint32_t Read16(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8);
}

std::uint32_t Read32(const unsigned char* p)
{
    return Read16(p) | (Read16(p + 2) << 16);
}

std::uint64_t AlignTo8(std::uint64_t value)
{
    return (value + 7) & ~std::uint64_t(7);
}

// The length of the DER element at `der` (at most `length` bytes): its tag,
// length bytes and contents. Zero when it is malformed or longer than that.
std::uint64_t DerLength(const unsigned char* der, std::uint64_t length)
{
    if (length < 2)
        return 0;
    const unsigned char first = der[1];
    if (first < 0x80)
        return 2 + std::uint64_t(first) <= length ? 2 + std::uint64_t(first) : 0;
    const unsigned count = first & 0x7F;
    if (count == 0 || count > 4 || 2 + std::uint64_t(count) > length)
        return 0;
    std::uint64_t contents = 0;
    for (unsigned i = 0; i < count; ++i)
        contents = (contents << 8) | der[2 + i];
    const std::uint64_t whole = 2 + std::uint64_t(count) + contents;
    return whole <= length ? whole : 0;
}

const std::uint32_t kWinCertificateHeader = 8;
const unsigned char kDerSequence = 0x30;

}  // namespace

bool FindCertificateTable(const unsigned char* headers, std::size_t length, CertificateTable& table)
{
    if (length < 0x40 || headers[0] != 'M' || headers[1] != 'Z')
        return false;
    const std::uint64_t pe = Read32(headers + 0x3C);
    const std::uint64_t coff = pe + 4;
    const std::uint64_t optional = coff + 20;
    if (optional + 2 > length || Read32(headers + pe) != 0x00004550)
        return false;
    const std::uint32_t optionalSize = Read16(headers + coff + 16);
    const std::uint32_t magic = Read16(headers + optional);
    // PE32 and PE32+ differ in where the directory count and the directories lie.
    const std::uint64_t countAt = magic == 0x20B ? 108 : magic == 0x10B ? 92 : 0;
    const std::uint64_t securityAt = countAt + 4 + 4 * 8;
    if (countAt == 0 || securityAt + 8 > optionalSize || optional + securityAt + 8 > length ||
        Read32(headers + optional + countAt) <= 4)
        return false;
    table.offset = Read32(headers + optional + securityAt);
    table.size = Read32(headers + optional + securityAt + 4);
    return table.offset != 0 && table.size != 0;
}

bool CertificateTableIsSound(std::uint64_t fileSize, const CertificateTable& table, const unsigned char* bytes)
{
    if (table.size < kWinCertificateHeader || std::uint64_t(table.offset) + table.size != fileSize)
        return false;
    // One entry: Windows checks only the first, and a second could carry anything.
    const std::uint32_t entryLength = Read32(bytes);
    if (entryLength <= kWinCertificateHeader || entryLength > table.size ||
        AlignTo8(entryLength) < table.size)
        return false;
    const unsigned char* signature = bytes + kWinCertificateHeader;
    const std::uint64_t signatureRoom = entryLength - kWinCertificateHeader;
    if (signature[0] != kDerSequence)
        return false;
    const std::uint64_t der = DerLength(signature, signatureRoom);
    return der != 0 && AlignTo8(kWinCertificateHeader + der) >= entryLength;
}
