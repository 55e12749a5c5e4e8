// Bounded random lists: the parser agrees with a plain model of the format on
// contents mixing keys, commas, every white-space byte, NULs and high bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "fuzz/url_list_check.h"

namespace {

std::string RandomContent(std::mt19937& random)
{
    static const char* const pieces[] = {"KPS_ISS", "KPS_EXE", "KL_ISS", "KL_EXE", "PCSC_B_ISS", "PCSC_B_EXE",
                                         "kps_exe", "KPS", ",", ",", ",,", "http://h/a/pkg.exe", "/", " ", "\t",
                                         "\r\n", "\n", "\v", "\f", "\r", "  ", "" /* a NUL byte */, "\x1a",
                                         "\xff", "\x8a\xee", "x"};
    std::string content;
    const int count = std::uniform_int_distribution<int>(0, 40)(random);
    for (int i = 0; i < count; ++i) {
        const size_t which = std::uniform_int_distribution<size_t>(0, sizeof(pieces) / sizeof(pieces[0]) - 1)(random);
        if (pieces[which][0] == '\0')
            content.push_back('\0');
        else
            content += pieces[which];
    }
    return content;
}

TEST(UrlListRandom, AgreesWithTheModel)
{
    std::mt19937 random(20261208);
    for (int i = 0; i < 3000; ++i) {
        const std::string content = RandomContent(random);
        const std::string mismatch = url_list_check::Check(content);
        ASSERT_EQ(mismatch, "") << "case " << i;
    }
}

}  // namespace
