// A small PNG writer for screenshots: 8-bit RGB, no filtering, zlib stream of
// stored (uncompressed) deflate blocks. Big files, no dependencies.
#ifndef KUVANA_SIM_PNG_WRITER_H
#define KUVANA_SIM_PNG_WRITER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// `rgb` holds height rows of width * 3 bytes, top row first.
std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& rgb, uint32_t width, uint32_t height);

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t Adler32(const uint8_t* data, size_t size);

#endif
