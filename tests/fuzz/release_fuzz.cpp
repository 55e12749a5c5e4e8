// libFuzzer target for the release lines: any content, compared with a model.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/release_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string mismatch = release_check::Check(std::string(reinterpret_cast<const char*>(data), size));
    if (!mismatch.empty()) {
        fprintf(stderr, "ParseRelease disagrees with the model: %s\n", mismatch.c_str());
        abort();
    }
    return 0;
}
