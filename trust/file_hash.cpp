// SHA-256 through BCrypt: of bytes in memory, and of a held file read in
// large pieces at explicit offsets.
#include "trust/file_hash.h"

#include <bcrypt.h>

#include <vector>

namespace {

// One hash object and its algorithm, released on every path out.
class Sha256 {
public:
    Sha256()
    {
        if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
            algorithm = nullptr;
        else if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) != 0)
            hash = nullptr;
    }
    ~Sha256()
    {
        if (hash != nullptr)
            BCryptDestroyHash(hash);
        if (algorithm != nullptr)
            BCryptCloseAlgorithmProvider(algorithm, 0);
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    bool Add(const unsigned char* data, ULONG size)
    {
        return hash != nullptr && (size == 0 || BCryptHashData(hash, const_cast<PUCHAR>(data), size, 0) == 0);
    }
    bool Finish(unsigned char (&digest)[kSha256Bytes])
    {
        return hash != nullptr && BCryptFinishHash(hash, digest, ULONG(kSha256Bytes), 0) == 0;
    }

private:
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

const DWORD kPieceBytes = 1 << 20;

}  // namespace

bool Sha256OfBytes(const unsigned char* data, std::size_t size, unsigned char (&digest)[kSha256Bytes])
{
    Sha256 hash;
    while (size > kPieceBytes) {
        if (!hash.Add(data, kPieceBytes))
            return false;
        data += kPieceBytes;
        size -= kPieceBytes;
    }
    return hash.Add(data, ULONG(size)) && hash.Finish(digest);
}

bool Sha256OfFile(HANDLE file, unsigned long long maxBytes, unsigned char (&digest)[kSha256Bytes],
                  unsigned long long& size)
{
    Sha256 hash;
    std::vector<unsigned char> piece(kPieceBytes);
    size = 0;
    for (;;) {
        OVERLAPPED at = {};
        at.Offset = DWORD(size);
        at.OffsetHigh = DWORD(size >> 32);
        DWORD got = 0;
        if (!ReadFile(file, piece.data(), kPieceBytes, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF)
                break;
            return false;
        }
        if (got == 0)
            break;
        size += got;
        if (size > maxBytes || !hash.Add(piece.data(), got))
            return false;
    }
    return hash.Finish(digest);
}

bool FileMatchesRelease(HANDLE file, const ReleaseFile& expected)
{
    LARGE_INTEGER length = {};
    if (!expected.bound || !GetFileSizeEx(file, &length) || (unsigned long long)length.QuadPart != expected.size)
        return false;
    unsigned char digest[kSha256Bytes] = {};
    unsigned long long size = 0;
    return Sha256OfFile(file, expected.size, digest, size) && MatchesRelease(expected, size, digest);
}
