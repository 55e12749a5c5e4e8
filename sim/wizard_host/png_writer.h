// A small PNG writer for screenshots: 8-bit RGB, filter type 0 on every row,
// the image data deflated by zlib (linked statically into the host).
#ifndef KUVANA_SIM_PNG_WRITER_H
#define KUVANA_SIM_PNG_WRITER_H

#include <cstdint>
#include <vector>

// `rgb` holds height rows of width * 3 bytes, top row first. Empty when zlib
// cannot compress it (out of memory).
std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& rgb, uint32_t width, uint32_t height);

#endif
