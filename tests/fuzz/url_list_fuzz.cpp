// libFuzzer target for the URL-list parser: any content, compared with a model.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "fuzz/url_list_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = url_list_check::ScratchFolder() + "kuvana_url_list_fuzz_" + std::to_string(getpid());
    const std::string mismatch =
        url_list_check::Check(path, std::string(reinterpret_cast<const char*>(data), size));
    if (!mismatch.empty()) {
        fprintf(stderr, "UrlList disagrees with the model: %s\n", mismatch.c_str());
        abort();
    }
    return 0;
}
