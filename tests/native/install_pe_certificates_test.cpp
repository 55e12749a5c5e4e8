// The certificate table's place in the headers and its shape.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "trust/pe_certificates.h"

namespace {

void Put32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// PE headers whose security directory names `offset` and `size`.
std::vector<unsigned char> Headers(std::uint16_t magic, std::uint32_t offset, std::uint32_t size)
{
    std::vector<unsigned char> bytes(0x200, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put32(bytes, 0x3C, 0x80);
    Put32(bytes, 0x80, 0x00004550);
    const std::size_t optional = 0x80 + 4 + 20;
    bytes[0x80 + 4 + 16] = 240;  // SizeOfOptionalHeader
    bytes[optional] = magic & 0xFF;
    bytes[optional + 1] = magic >> 8;
    const std::size_t count = magic == 0x20B ? 108 : 92;
    Put32(bytes, optional + count, 16);
    Put32(bytes, optional + count + 4 + 32, offset);
    Put32(bytes, optional + count + 4 + 36, size);
    return bytes;
}

TEST(CertificateTable, FoundInPe32AndPe32PlusHeadersOnly)
{
    CertificateTable table;
    for (std::uint16_t magic : {0x20B, 0x10B}) {
        ASSERT_TRUE(FindCertificateTable(Headers(magic, 0x4000, 0x820).data(), 0x200, table)) << magic;
        EXPECT_EQ(table.offset, 0x4000u);
        EXPECT_EQ(table.size, 0x820u);
    }
    EXPECT_FALSE(FindCertificateTable(Headers(0x20B, 0, 0).data(), 0x200, table)) << "unsigned";
    EXPECT_FALSE(FindCertificateTable(Headers(0x20B, 0x4000, 0x820).data(), 0x100, table)) << "cut short";
    EXPECT_FALSE(FindCertificateTable(Headers(0x107, 0x4000, 0x820).data(), 0x200, table)) << "no PE magic";
    std::vector<unsigned char> noPe = Headers(0x20B, 0x4000, 0x820);
    noPe[0x81] = 'X';
    EXPECT_FALSE(FindCertificateTable(noPe.data(), noPe.size(), table));
}

// One WIN_CERTIFICATE holding a DER sequence of `contents` bytes, its
// dwLength `extra` bytes beyond the signature, then `tail` bytes in the table.
struct Shape {
    const char* what;
    std::uint32_t contents, extra, tail;
    std::uint64_t afterTable;
    unsigned char tag;
    bool sound;
};

TEST(CertificateTable, SoundOnlyWhenOneSignatureFillsItToTheEndOfTheFile)
{
    const Shape shapes[] = {
        {"signed as signing tools write it", 1000, 0, 0, 0, 0x30, true},
        {"padded to 8 bytes", 1001, 0, 0, 0, 0x30, true},
        {"bytes appended inside the entry", 1000, 16, 0, 0, 0x30, false},
        {"a second entry or bytes after the entry", 1000, 0, 16, 0, 0x30, false},
        {"data after the table", 1000, 0, 0, 512, 0x30, false},
        {"no DER sequence", 1000, 0, 0, 0, 0x04, false},
    };
    for (const Shape& shape : shapes) {
        const std::uint32_t der = 4 + shape.contents;
        const std::uint32_t entry = 8 + der + shape.extra;
        const std::uint32_t size = ((entry + 7) & ~7u) + shape.tail;
        std::vector<unsigned char> bytes(size, 0);
        Put32(bytes, 0, entry);
        bytes[8] = shape.tag;
        bytes[9] = 0x82;
        bytes[10] = static_cast<unsigned char>(shape.contents >> 8);
        bytes[11] = static_cast<unsigned char>(shape.contents);
        CertificateTable table;
        table.offset = 0x4000;
        table.size = size;
        EXPECT_EQ(CertificateTableIsSound(0x4000 + size + shape.afterTable, table, bytes.data()), shape.sound)
            << shape.what;
    }
    // A signature longer than its entry, and an entry longer than its table.
    std::vector<unsigned char> bytes(16, 0);
    Put32(bytes, 0, 16);
    bytes[8] = 0x30;
    bytes[9] = 0x20;
    CertificateTable table;
    table.offset = 0x4000;
    table.size = 16;
    EXPECT_FALSE(CertificateTableIsSound(0x4010, table, bytes.data()));
    Put32(bytes, 0, 24);
    EXPECT_FALSE(CertificateTableIsSound(0x4010, table, bytes.data()));
}

}  // namespace
