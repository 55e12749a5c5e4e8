// The URL list's format and lookup, and the file-name rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trust/url_list.h"

namespace {

const char kKpsExe[] = "http://download.example/Products/dir/pkg.exe";

TEST(UrlListLookup, FindsEachOfTheSixKeysInAnyOrder)
{
    const std::string list(
        "PCSC_B_EXE,http://h/pcsc.exe\n"
        "KL_ISS,http://h/kl.iss\n"
        "KPS_EXE,http://h/kps.exe\n"
        "PCSC_B_ISS,http://h/pcsc.iss\n"
        "KPS_ISS,http://h/kps.iss\n"
        "KL_EXE,http://h/kl.exe\n");
    const UrlList urls(list);
    EXPECT_EQ(urls.Lookup("KPS_ISS"), "http://h/kps.iss");
    EXPECT_EQ(urls.Lookup("KPS_EXE"), "http://h/kps.exe");
    EXPECT_EQ(urls.Lookup("KL_ISS"), "http://h/kl.iss");
    EXPECT_EQ(urls.Lookup("KL_EXE"), "http://h/kl.exe");
    EXPECT_EQ(urls.Lookup("PCSC_B_ISS"), "http://h/pcsc.iss");
    EXPECT_EQ(urls.Lookup("PCSC_B_EXE"), "http://h/pcsc.exe");
    // Each lookup starts over: asking again, or for an earlier key, still works.
    EXPECT_EQ(urls.Lookup("PCSC_B_EXE"), "http://h/pcsc.exe");
    EXPECT_EQ(urls.Lookup("KPS_EXE"), "http://h/kps.exe");
}

TEST(UrlListLookup, ValueIsEverythingAfterTheFirstComma)
{
    const std::string list(std::string("KPS_EXE,") + kKpsExe + "\nKL_EXE,http://h/a,b,,c\nKL_ISS,\n");
    const UrlList urls(list);
    EXPECT_EQ(urls.Lookup("KPS_EXE"), kKpsExe);
    EXPECT_EQ(FileNameFromUrl(urls.Lookup("KPS_EXE")), "pkg.exe");
    EXPECT_EQ(urls.Lookup("KL_EXE"), "http://h/a,b,,c");
    EXPECT_EQ(urls.Lookup("KL_ISS"), "");
}

TEST(UrlListLookup, BlankAfterTheCommaGivesAnEmptyValueAndAnotherEntry)
{
    const std::string list("KPS_EXE, http://h/kps.exe\nKPS_EXE,http://h/second.exe\n");
    const UrlList urls(list);
    EXPECT_EQ(urls.Lookup("KPS_EXE"), "");
    // The address on its own has no comma, so it is no entry of any key.
    EXPECT_EQ(urls.Lookup(" http://h/kps.exe"), "");
    EXPECT_EQ(urls.Lookup("http://h/kps.exe"), "");
}

TEST(UrlListLookup, KeysCompareExactly)
{
    const std::string list("kps_iss,http://h/lower\nKPS_ISSX,http://h/longer\nKPS_IS,http://h/shorter\n"
                  "KPS_ISS,http://h/right\n");
    const UrlList urls(list);
    EXPECT_EQ(urls.Lookup("KPS_ISS"), "http://h/right");
    EXPECT_EQ(urls.Lookup("kps_iss"), "http://h/lower");
    EXPECT_EQ(urls.Lookup("KPS_I"), "");
    EXPECT_EQ(urls.Lookup(""), "");
}

TEST(UrlListLookup, EmptyKeyMatchesAnEntryStartingWithAComma)
{
    const std::string list("nocomma ,lead");
    const UrlList urls(list);
    EXPECT_EQ(urls.Lookup(""), "lead");
    EXPECT_EQ(urls.Lookup("nocomma"), "");
}

TEST(UrlListLookup, FirstOfDuplicateKeysCounts)
{
    const std::string list("KL_EXE,http://h/first\nKL_EXE,http://h/second\n");
    const UrlList urls(list);
    EXPECT_EQ(urls.Lookup("KL_EXE"), "http://h/first");
}

TEST(UrlListLookup, AnyWhiteSpaceSeparatesEntriesAndLinesPlayNoPart)
{
    const std::string list("\r\n\t KPS_ISS,http://h/a\r\nKPS_EXE,http://h/b\v\fKL_ISS,http://h/c KL_EXE,http://h/d\r\n");
    const UrlList urls(list);
    EXPECT_EQ(urls.Lookup("KPS_ISS"), "http://h/a");
    EXPECT_EQ(urls.Lookup("KPS_EXE"), "http://h/b");
    EXPECT_EQ(urls.Lookup("KL_ISS"), "http://h/c");
    EXPECT_EQ(urls.Lookup("KL_EXE"), "http://h/d");
}

TEST(UrlListLookup, LastEntryWithoutLineEnd)
{
    const std::string list("KPS_ISS,http://h/a\nKPS_EXE,http://h/last");
    const UrlList urls(list);
    EXPECT_EQ(urls.Lookup("KPS_EXE"), "http://h/last");
    EXPECT_EQ(urls.Lookup("KPS_ISS"), "http://h/a");
}

TEST(UrlListLookup, OverlongEntriesAreSkippedAndBytesAboveAsciiKept)
{
    // 2,048 characters is the longest entry read; a longer one is passed over,
    // so a later entry of the same key counts.
    const std::string longest = "KPS_EXE,http://h/" + std::string(2048 - 21, 'x') + ".exe";
    ASSERT_EQ(longest.size(), 2048u);
    const UrlList urls(longest + "\nKL_ISS,http://h/" + std::string(5000, 'y') + "\nKL_ISS,http://h/short\n" +
                       "KL_EXE,http://h/\x8A\xEE\xFF.exe\n");
    EXPECT_EQ(urls.Lookup("KPS_EXE"), longest.substr(8));
    EXPECT_EQ(urls.Lookup("KL_ISS"), "http://h/short");
    EXPECT_EQ(urls.Lookup("KL_EXE"), "http://h/\x8A\xEE\xFF.exe");
    EXPECT_EQ(UrlList("KPS_EXE,http://h/" + std::string(2048 - 20, 'x') + ".exe\n").Lookup("KPS_EXE"), "");
}

TEST(UrlListLookup, EmptyOrBlankTextHasNoEntries)
{
    for (const char* text : {"", " \r\n\t\n", "no-comma-at-all"}) {
        const UrlList urls(text);
        EXPECT_EQ(urls.Lookup("KPS_EXE"), "") << text;
        EXPECT_FALSE(urls.Names("KPS_EXE")) << text;
    }
    EXPECT_FALSE(UrlList().Names(""));
}

TEST(UrlListLookup, ValuesGivesEveryEntryOfAKeyInOrder)
{
    const UrlList urls("A,1 B,2 A,3 A, a,4");
    EXPECT_EQ(urls.Values("A"), (std::vector<std::string>{"1", "3", ""}));
    EXPECT_TRUE(urls.Names("B"));
    EXPECT_FALSE(urls.Names("b"));
}

TEST(PlainFileName, PrintableAsciiUpTo64WithoutPathCharactersEdgeDotsOrBlanksOrDeviceNames)
{
    for (const char* good : {"setup.exe", "KpsSetup_1-2.iss", "a", "CONSOLE.exe", "COM10.exe", "LPT0", "x.CON",
                             "nul_x.txt", "Setup JP.exe", "kps(2).exe", "a%2e.exe", "x~1,;=[]{}'`!@#$&+.iss"})
        EXPECT_TRUE(IsPlainFileName(good)) << good;
    const std::string sixtyFour(64, 'a');
    EXPECT_TRUE(IsPlainFileName(sixtyFour));
    const std::string refused[] = {
        "", sixtyFour + "a", ".hidden", "setup.", "..", " a.exe", "a.exe ", "a\\b.exe", "C:x.exe", "a/b", "a|b",
        "a<b", "a>b", "a\tb", std::string("a\0b", 3), "a\x7f", "setup.exe:stream", "a*.exe", "a?.exe", "\"a\"",
        // Device names, in any case and with any extension.
        "CON", "con.txt", "Prn.exe", "AUX.tar.gz", "NUL", "COM1", "com9.exe", "LPT1", "lpt5.iss", "nul .txt",
        "CONIN$", "conout$.exe",
        // Code page 932: the second byte of this katakana is 0x5C, a backslash to
        // a reader that does not know the code page.
        "\x83\x5C.exe", "\x8A\xEE.exe"};
    for (const std::string& name : refused)
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    EXPECT_EQ(PlainFileNameFromUrl("http://h/dir/KpsSetup.exe"), "KpsSetup.exe");
    EXPECT_EQ(PlainFileNameFromUrl("http://h/dir/..%5C..%5Cx.exe"), "");
    EXPECT_EQ(PlainFileNameFromUrl("http://h/dir/\x83\x5C.exe"), "");
    EXPECT_EQ(PlainFileNameFromUrl("http://h/dir/"), "");
}

TEST(PackageFileNames, NeedTheirSuffixAndCountAsMissingWhenTwoMatchIgnoringCase)
{
    const struct {
        const char* url;
        const char* suffix;
        const char* name;
    } cases[] = {
        {"http://h/kps/Setup.EXE", ".exe", "Setup.EXE"},   {"http://h/kps/kps.iss", ".iss", "kps.iss"},
        {"http://h/kps/version.dll", ".iss", ""},          {"http://h/kps/setup.exe", ".iss", ""},
        {"http://h/kps/setup.exe.txt", ".exe", ""},        {"http://h/kps/exe", ".exe", ""},
        {"http://h/kps/.exe", ".exe", ""},                 {"http://h/kps/a b.exe ", ".exe", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PackageFileName(c.url, c.suffix), c.name) << c.url;

    // Names that would share one folder: two equal ignoring case both count as
    // missing; the others are kept.
    std::string names[] = {"kps.iss", "kl.iss", "KPS.ISS", "", ""};
    std::string* const pointers[] = {&names[0], &names[1], &names[2], &names[3], &names[4]};
    ClearDuplicateNames(pointers, 5);
    EXPECT_EQ(names[0], "");
    EXPECT_EQ(names[1], "kl.iss");
    EXPECT_EQ(names[2], "");
}

TEST(FileNameFromUrl, TakesThePartAfterTheLastSlash)
{
    EXPECT_EQ(FileNameFromUrl("http://h/Products/kuvana/pcrw/driver/netinstaller/en/url_list.txt"),
              "url_list.txt");
    EXPECT_EQ(FileNameFromUrl("http://h/a/driver/setup.exe"), "setup.exe");
    EXPECT_EQ(FileNameFromUrl("http://h/a/b?x=1"), "b?x=1");
    EXPECT_EQ(FileNameFromUrl("/x"), "x");
    EXPECT_EQ(FileNameFromUrl("http://h/dir/"), "");
    EXPECT_EQ(FileNameFromUrl("no-slash.exe"), "");
    EXPECT_EQ(FileNameFromUrl(""), "");
    EXPECT_EQ(FileNameFromUrl("/"), "");
}

}  // namespace
