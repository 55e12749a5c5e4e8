// The download job's pure arithmetic: argument checks in their order, bounded
// text handling, progress and the result's two parts.
#include <gtest/gtest.h>

#include <string>

#include "net/download_logic.h"

namespace {

TEST(StartArguments, CodesInTheirOrderWithTheLengthBoundaries)
{
    const std::string url511(511, 'u');
    const std::string url512(512, 'u');
    const std::string path259(259, 'p');
    const std::string path260(260, 'p');
    EXPECT_EQ(0, StartArgumentsCode(url511.c_str(), path259.c_str()));
    EXPECT_EQ(101000, StartArgumentsCode(nullptr, nullptr));  // the url is checked first
    EXPECT_EQ(102000, StartArgumentsCode(url512.c_str(), nullptr));
    EXPECT_EQ(103000, StartArgumentsCode(url511.c_str(), nullptr));
    EXPECT_EQ(104000, StartArgumentsCode(url511.c_str(), path260.c_str()));
    EXPECT_EQ(0, StartArgumentsCode("", ""));
}

TEST(BoundedText, NeverReadsPastTheLimit)
{
    // No NUL within the limit: the characters after it are never looked at.
    const char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(4u, BoundedLength(unterminated, 4));
    EXPECT_EQ(2u, BoundedLength("ab", 10));
    EXPECT_EQ(0u, BoundedLength("", 10));
}

TEST(BoundedText, CopyFitsWithItsNulOrLeavesTheTargetEmpty)
{
    char target[4] = {'x', 'x', 'x', 'x'};
    EXPECT_TRUE(CopyBounded(target, sizeof target, "abc"));
    EXPECT_STREQ("abc", target);
    EXPECT_FALSE(CopyBounded(target, sizeof target, "abcd"));
    EXPECT_STREQ("", target);
    EXPECT_FALSE(CopyBounded(target, sizeof target, nullptr));
    EXPECT_FALSE(CopyBounded(nullptr, 4, "a"));
    EXPECT_FALSE(CopyBounded(target, 0, "a"));
}

TEST(Percent, TruncatesAndFlagsMoreThanAnnounced)
{
    bool beyond = true;
    EXPECT_EQ(0, TransferPercent(500, 0, &beyond));  // total not known yet
    EXPECT_FALSE(beyond);
    EXPECT_EQ(25, TransferPercent(5000, 20000, &beyond));
    EXPECT_EQ(99, TransferPercent(19999, 20000, &beyond));
    EXPECT_EQ(0, TransferPercent(1, 1000, &beyond));
    EXPECT_EQ(100, TransferPercent(20000, 20000, &beyond));
    EXPECT_FALSE(beyond);
    EXPECT_EQ(100, TransferPercent(20001, 20000, &beyond));
    EXPECT_TRUE(beyond);
    // Large files: no overflow in the product received * 100.
    EXPECT_EQ(50, TransferPercent(0x7FFFFFFFul, 0xFFFFFFFEul, &beyond));
    EXPECT_EQ(99, TransferPercent(0xFFFFFFFEul, 0xFFFFFFFFul, nullptr));
    // Beyond 32 bits.
    EXPECT_EQ(75, TransferPercent(3ull << 32, 4ull << 32, nullptr));
    EXPECT_EQ(100, TransferPercent((4ull << 32) + 1, 4ull << 32, &beyond));
    EXPECT_TRUE(beyond);
}

TEST(ContentLength, DecimalDigitsUpTo64Bits)
{
    struct Case {
        const char* text;
        bool ok;
        std::uint64_t length;
    } cases[] = {
        {"0", true, 0},
        {"4294967296", true, 4294967296ull},
        {"18446744073709551615", true, 18446744073709551615ull},
        {"18446744073709551616", false, 0},
        {"", false, 0},
        {"-1", false, 0},
        {"+5", false, 0},
        {"12 ", false, 0},
        {"0x10", false, 0},
    };
    for (const Case& c : cases) {
        std::uint64_t length = 7;
        EXPECT_EQ(c.ok, ParseContentLength(c.text, &length)) << c.text;
        EXPECT_EQ(c.ok ? c.length : 7u, length) << c.text;
    }
    EXPECT_FALSE(ParseContentLength(nullptr, nullptr));
}

TEST(Pace, EachKibibyteMustComeWithinTheWindowOfThePreviousOne)
{
    // A trickle: 100 bytes every 10 s is too slow once 60 s have passed.
    TransferPace pace = StartPace(0);
    std::uint32_t now = 0;
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(TooSlow(&pace, now += 10000, 100)) << now;
    EXPECT_TRUE(TooSlow(&pace, now += 10000, 100));

    // Just above the rate: each full KiB opens a new window, however long the transfer.
    pace = StartPace(0);
    now = 0;
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(TooSlow(&pace, now += 59999, 1024)) << i;
    // A burst earns no credit for a later silence.
    EXPECT_FALSE(TooSlow(&pace, now += 1, 100000));
    EXPECT_TRUE(TooSlow(&pace, now += 60000, 1023));

    // Tick counts that wrap around.
    pace = StartPace(0xFFFFF000u);
    EXPECT_FALSE(TooSlow(&pace, 0x00001000u, 10));
    EXPECT_TRUE(TooSlow(&pace, 0xFFFFF000u + kTrickleWindowMilliseconds, 10));
}

TEST(Result, PhaseAndStepAddUpAndSplitApart)
{
    const int result = DownloadResult(305, 111000);  // InternetConnectA failed
    EXPECT_EQ(111305, result);
    EXPECT_EQ(111000, PhaseOf(result));
    EXPECT_EQ(305, StepOf(result));
    EXPECT_EQ(0, PhaseOf(401));
    EXPECT_EQ(309000, PhaseOf(309000));
    EXPECT_EQ(0, StepOf(309000));
}

}  // namespace
