// The download job's arithmetic and text handling, free of Windows so that it
// is unit-tested natively.
#ifndef KUVANA_NET_DOWNLOAD_LOGIC_H
#define KUVANA_NET_DOWNLOAD_LOGIC_H

#include <cstddef>
#include <cstdint>

// Length of text, or limit when no NUL comes within limit characters: never
// reads past text[limit - 1], so an unterminated argument is caught.
std::size_t BoundedLength(const char* text, std::size_t limit);

// Copies source with its NUL into target when it fits in capacity bytes;
// otherwise leaves target empty (when capacity allows) and returns false.
bool CopyBounded(char* target, std::size_t capacity, const char* source);

// The phase code Start gives its arguments: 0, or 101000 (url missing),
// 102000 (url of 512 characters or more), 103000 (localPath missing),
// 104000 (localPath of 260 characters or more), checked in that order.
int StartArgumentsCode(const char* url, const char* localPath);

// Progress of a transfer of total bytes with received bytes written, 0..100,
// truncated toward zero. No total known yet gives 0; beyond is set when more
// bytes arrived than the total announced.
int TransferPercent(std::uint64_t received, std::uint64_t total, bool* beyond);

// The Content-Length header's text as a 64-bit count: decimal digits only,
// without sign or blanks, at most 2^64 - 1. False for anything else.
bool ParseContentLength(const char* text, std::uint64_t* length);

// A transfer slower than this ends as a receive time-out does: it must bring
// kTrickleMinimumBytes within kTrickleWindowMilliseconds of the last time it
// had brought as many. The per-receive time-out alone lets a server that
// sends a byte just inside it keep a transfer alive for ever.
constexpr std::uint32_t kTrickleWindowMilliseconds = 60000;
constexpr std::uint32_t kTrickleMinimumBytes = 1024;

struct TransferPace {
    std::uint32_t windowStart;  // tick count when the window began
    std::uint32_t windowBytes;  // bytes received since
};

inline TransferPace StartPace(std::uint32_t now) { return TransferPace{now, 0}; }

// Counts got bytes received at tick count now; true when the transfer is too
// slow to keep. Tick counts wrap: only their difference is used.
bool TooSlow(TransferPace* pace, std::uint32_t now, std::uint32_t got);

// A result is a phase code (a multiple of 1000) plus a step code (below 1000).
inline int DownloadResult(int stepCode, int phaseCode) { return stepCode + phaseCode; }
inline int PhaseOf(int result) { return result / 1000 * 1000; }
inline int StepOf(int result) { return result % 1000; }

#endif
