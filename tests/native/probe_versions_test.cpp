// Version packing, parsing and the reversed-sign comparison.
#include <gtest/gtest.h>

#include "probe/versions.h"

TEST(PackVersion, OneByteANumberWithATopmost)
{
    EXPECT_EQ(0x02000005u, PackVersion("2.0.0.5"));
    EXPECT_EQ(0x01020304u, PackVersion("1.2.3.4"));
    EXPECT_EQ(0xFFFFFFFFu, PackVersion("255.255.255.255"));
    // Only the low byte of each number counts.
    EXPECT_EQ(0x2C010203u, PackVersion("300.1.2.3"));
    EXPECT_EQ(0x01FF0000u, PackVersion("1.-1.0.0"));
    EXPECT_EQ(0x01020304u, PackVersion("1.2.3.260"));
    EXPECT_EQ(0x01020304u, PackVersion("1.2.3.4294967556"));  // overlong: low bits kept, no overflow
}

TEST(PackVersion, AnythingButFourScannedNumbersIsZero)
{
    EXPECT_EQ(0u, PackVersion("1,0,0,0"));
    EXPECT_EQ(0u, PackVersion("1.2.3"));
    EXPECT_EQ(0u, PackVersion(""));
    EXPECT_EQ(0u, PackVersion(nullptr));
    EXPECT_EQ(0u, PackVersion("v1.2.3.4"));
    EXPECT_EQ(0u, PackVersion("1.2.x.4"));
    EXPECT_EQ(0u, PackVersion("1..2.3.4"));
    EXPECT_EQ(0u, PackVersion("1 .2.3.4"));  // the dot must follow the number
}

TEST(PackVersion, ScanRulesOfDecimalConversion)
{
    EXPECT_EQ(0x01020304u, PackVersion("1.2.3.4 (build 77)"));
    EXPECT_EQ(0x01020304u, PackVersion("1.2.3.4.5"));
    EXPECT_EQ(0x01020304u, PackVersion("  1. 2.+3.4"));  // white space and sign before a number
    EXPECT_EQ(0x0A000000u, PackVersion("10.0.0.0"));
}

TEST(ParseVersion, MissingAndForeignPartsAreZero)
{
    ParsedVersion v = ParseVersion("1.2");
    EXPECT_EQ(1, v.part[0]);
    EXPECT_EQ(2, v.part[1]);
    EXPECT_EQ(0, v.part[2]);
    EXPECT_EQ(0, v.part[3]);

    v = ParseVersion("1.x.3");
    EXPECT_EQ(1, v.part[0]);
    EXPECT_EQ(0, v.part[1]);
    EXPECT_EQ(3, v.part[2]);

    v = ParseVersion(" -4.07..9.8");
    EXPECT_EQ(-4, v.part[0]);
    EXPECT_EQ(7, v.part[1]);
    EXPECT_EQ(0, v.part[2]);
    EXPECT_EQ(9, v.part[3]);

    v = ParseVersion("");
    EXPECT_EQ(0, v.part[0]);
    EXPECT_EQ(0, v.part[3]);

    v = ParseVersion("3.");
    EXPECT_EQ(3, v.part[0]);
    EXPECT_EQ(0, v.part[1]);
}

TEST(ParseVersion, HugeNumbersSaturate)
{
    ParsedVersion v = ParseVersion("99999999999.-99999999999");
    EXPECT_EQ(2147483647, v.part[0]);
    EXPECT_EQ(-2147483647 - 1, v.part[1]);
}

TEST(CompareVersion, MinusOneMeansTheFirstIsNewer)
{
    EXPECT_EQ(-1, CompareVersion("1.10", "1.9"));
    EXPECT_EQ(1, CompareVersion("1.9", "1.10"));
    EXPECT_EQ(-1, CompareVersion("2.0.0.1", "2.0.0.0"));
    EXPECT_EQ(1, CompareVersion("", "0.0.0.1"));
    EXPECT_EQ(-1, CompareVersion("0.0.0.0", "-1.0"));  // signed comparison
}

TEST(CompareVersion, EqualAfterParsing)
{
    EXPECT_EQ(0, CompareVersion("1.2", "1.2.0.0"));
    EXPECT_EQ(0, CompareVersion("2.0.0.0.9", "2.0.0.0"));
    EXPECT_EQ(0, CompareVersion("1.x.3", "1.0.3"));
    EXPECT_EQ(0, CompareVersion("", "0.0.0.0"));
}

TEST(VersionText, RoundTripsThroughPackAndCompare)
{
    EXPECT_EQ("2.1.0.13", VersionText(0x0201000Du));
    EXPECT_EQ("0.0.0.0", VersionText(0));
    EXPECT_EQ("255.255.255.255", VersionText(0xFFFFFFFFu));
    EXPECT_EQ(0x0201000Du, PackVersion(VersionText(0x0201000Du).c_str()));
    EXPECT_EQ(0, CompareVersion(VersionText(PackVersion("3.4.5.6")), "3.4.5.6"));
}
