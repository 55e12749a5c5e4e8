// Version texts of drivers and reader software: packing and comparison.
#ifndef KUVANA_PROBE_VERSIONS_H
#define KUVANA_PROBE_VERSIONS_H

#include <cstdint>
#include <string>

// "a.b.c.d" -> one byte a number, a in the top byte; 0 unless four numbers scan.
uint32_t PackVersion(const char* text);

struct ParsedVersion {
    int32_t part[4];
};

// Up to four dot-separated numbers, each converted like atoi; missing ones are 0.
ParsedVersion ParseVersion(std::string text);

// -1 when first is the NEWER version, 1 when it is older, 0 when equal.
int CompareVersion(std::string first, std::string second);

// The packed form written back as dotted text "a.b.c.d".
std::string VersionText(uint32_t packed);

#endif
