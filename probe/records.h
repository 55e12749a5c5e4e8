// Records the probes produce: installed driver files and attached readers.
#ifndef KUVANA_PROBE_RECORDS_H
#define KUVANA_PROBE_RECORDS_H

#include <cstdint>
#include <string>

// 0 = zrvport, 1 = zrvemb, 2 = zrvpccard.
enum DriverKind : int32_t {
    kindZrvport = 0,
    kindZrvemb = 1,
    kindZrvpccard = 2,
};

// One installed driver file; the flags travel with it, nothing decides on them.
struct DriverRecord {
    int32_t kind;
    uint32_t flags;
    uint32_t version;  // packed ProductVersion
};

#pragma pack(push, 1)
// One attached reader as enumerated; packed, no gaps between the fields.
struct DeviceRecord {
    int32_t kind;
    uint8_t unitNumber;
    uint32_t readerId;       // low 28 bits of the identity reply plus a group bit
    uint32_t flags;          // bit 0: kind 1 with a valid identity; bit 1: Parameters flag
    uint16_t replyWord;
    uint32_t driverVersion;  // packed DriverVersion of the interface's driver; 0 for kind 2
};
#pragma pack(pop)

// One identified reader. The driver record belongs to the inventory's driver table.
struct ReaderEntry {
    const DriverRecord* driver;
    DeviceRecord device;
    std::string modelName;
    // The DriverVersion of the reader's driver as its registry holds it: the
    // record's packed form keeps only 8 bits a number, too few to compare.
    std::string driverVersionText;
};

// Group bits in the top four bits of a ReaderId.
const uint32_t group1 = 0x10000000u;
const uint32_t group2 = 0x20000000u;
const uint32_t group4 = 0x40000000u;
const uint32_t group8 = 0x80000000u;

#endif
