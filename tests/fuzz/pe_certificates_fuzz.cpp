// libFuzzer target for the certificate-table reader: any bytes as a whole
// program file, read as the signature check reads one (its headers, then the
// table the headers name), each part in a buffer of its exact size so that
// any read beyond it is caught.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "trust/pe_certificates.h"

namespace {

// The check's own bounds: headers from the file's first 64 KiB, tables up to 1 MiB.
const size_t kHeaderBytes = 64 * 1024;
const uint32_t kMaxTable = 1 << 20;

void Fail(const char* what)
{
    fprintf(stderr, "certificate table: %s\n", what);
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<unsigned char> headers(data, data + (size < kHeaderBytes ? size : kHeaderBytes));
    CertificateTable table;
    if (!FindCertificateTable(headers.data(), headers.size(), table))
        return 0;
    if (table.offset == 0 || table.size == 0)
        Fail("found a table without offset or size");
    if (table.size > kMaxTable || uint64_t(table.offset) + table.size > size)
        return 0;
    std::vector<unsigned char> bytes(data + table.offset, data + table.offset + table.size);
    if (!CertificateTableIsSound(size, table, bytes.data()))
        return 0;
    // Sound: the table ends the file and one entry, a DER sequence, fills it.
    const uint32_t entry = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                           uint32_t(bytes[3]) << 24;
    if (uint64_t(table.offset) + table.size != size || table.size < 9 || entry > table.size || entry <= 8 ||
        ((uint64_t(entry) + 7) & ~uint64_t(7)) < table.size || bytes[8] != 0x30)
        Fail("a table that breaks its rules passed");
    return 0;
}
