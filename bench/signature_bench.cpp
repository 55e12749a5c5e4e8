// What the check before every start costs: the product's VerifiedProgram
// (WinVerifyTrust on the embedded signature, then the signer's name), alone
// and bound to the release (the file's own SHA-256 and size taken beside it,
// through a second handle on the held file), on a signed 64 MiB installer,
// against one plain SHA-256 pass over the same file through BCrypt with 1 MiB
// reads. They take turns; the best of each counts.
//
//   signature_bench <signed file> [runs]
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "trust/file_hash.h"
#include "trust/trusted_start.h"

namespace {

// SHA-256 of the whole file; false when anything fails.
bool HashFile(const std::string& path, unsigned long long& bytes)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    ok = ok && file != INVALID_HANDLE_VALUE;
    std::vector<UCHAR> buffer(1 << 20);
    bytes = 0;
    DWORD got = 0;
    while (ok && ReadFile(file, buffer.data(), DWORD(buffer.size()), &got, nullptr) && got > 0) {
        ok = BCRYPT_SUCCESS(BCryptHashData(hash, buffer.data(), got, 0));
        bytes += got;
    }
    UCHAR digest[32];
    ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0));
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (hash != nullptr)
        BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return ok && bytes > 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: signature_bench <signed file> [runs]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    double bestCheck = 1e9, bestHash = 1e9, bestTable = 1e9, bestBound = 1e9;
    bool trusted = true, hashed = true;
    unsigned long long bytes = 0;
    // What a release names for the file.
    ReleaseFile expected;
    {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        expected.bound = file != INVALID_HANDLE_VALUE &&
                         Sha256OfFile(file, ~0ull, expected.sha256, expected.size);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    for (int i = 0; i < runs; ++i) {
        double start = Now();
        trusted = VerifiedProgram(path).Trusted() && trusted;
        const double check = Now() - start;
        start = Now();
        trusted = VerifiedProgram(path, &expected).Trusted() && trusted;
        const double bound = Now() - start;
        bestBound = bound < bestBound ? bound : bestBound;
        start = Now();
        hashed = HashFile(path, bytes) && hashed;
        const double hash = Now() - start;
        // The certificate table's own check, part of the above.
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        start = Now();
        trusted = file != INVALID_HANDLE_VALUE && CertificateTableAtEnd(file) && trusted;
        const double table = Now() - start;
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        bestTable = table < bestTable ? table : bestTable;
        bestCheck = check < bestCheck ? check : bestCheck;
        bestHash = hash < bestHash ? hash : bestHash;
    }
    const double mib = double(bytes) / 1048576.0;
    std::printf("signature check on a signed %.1f MiB installer, best of %d\n", mib, runs);
    std::printf("| %-46s | %8s | %8s | %6s |\n", "pass", "seconds", "MiB/s", "ratio");
    std::printf("|%s|----------|----------|--------|\n", std::string(48, '-').c_str());
    std::printf("| %-46s | %8.3f | %8.1f | %6.2f |\n", "plain SHA-256 (BCrypt, 1 MiB reads)", bestHash,
                mib / bestHash, 1.0);
    std::printf("| %-46s | %8.3f | %8.1f | %6.2f |\n", "WinVerifyTrust + publisher (VerifiedProgram)", bestCheck,
                mib / bestCheck, bestCheck / bestHash);
    std::printf("| %-46s | %8.4f | %8s | %6.3f |\n", "of which the certificate table's check", bestTable, "-",
                bestTable / bestHash);
    std::printf("| %-46s | %8.3f | %8.1f | %6.2f |\n", "the same, bound: + own SHA-256 and size beside it", bestBound,
                mib / bestBound, bestBound / bestHash);
    std::printf("check / plain hash: %.2fx; bound check / plain hash: %.2fx (goal: within 1.5x)\n",
                bestCheck / bestHash, bestBound / bestHash);
    if (!trusted || !hashed) {
        std::printf("FAILED: %s\n", !trusted ? "the maker's file was refused" : "the plain hash failed");
        return 1;
    }
    return 0;
}
