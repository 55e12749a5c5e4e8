// Where a program file's certificate table lies and whether anything rides
// along inside it. Pure: works on bytes read from the file.
#ifndef KUVANA_TRUST_PE_CERTIFICATES_H
#define KUVANA_TRUST_PE_CERTIFICATES_H

#include <cstddef>
#include <cstdint>

// The security data directory: the table's file offset and size.
struct CertificateTable {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// Finds the table in the file's first `length` bytes (its headers). False
// when they are no PE headers, are cut short or name no table.
bool FindCertificateTable(const unsigned char* headers, std::size_t length, CertificateTable& table);

// True when the table of a file of `fileSize` bytes is the last thing in the
// file and holds one WIN_CERTIFICATE whose signature (a DER sequence) fills
// it up to 8-byte alignment. `bytes` are the table's `table.size` bytes.
// Windows ignores bytes appended inside the table unless the machine opted
// into its padding check, so such bytes are refused as an unsigned file is.
bool CertificateTableIsSound(std::uint64_t fileSize, const CertificateTable& table, const unsigned char* bytes);

#endif
