// The URL list's format and lookup, and the file-name rule, on real files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

#include "install/url_list.h"

namespace {

class ListFile {
public:
    explicit ListFile(const std::string& content)
    {
        char name[] = "/tmp/kuvana_url_list_XXXXXX";
        int fd = mkstemp(name);
        path = name;
        if (fd >= 0)
            close(fd);
        Write(content);
    }
    ~ListFile() { std::remove(path.c_str()); }
    void Write(const std::string& content)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
    }
    std::string path;
};

const char kKpsExe[] = "http://download.example/Products/dir/pkg.exe";

TEST(UrlListLookup, FindsEachOfTheSixKeysInAnyOrder)
{
    ListFile list(
        "PCSC_B_EXE,http://h/pcsc.exe\n"
        "KL_ISS,http://h/kl.iss\n"
        "KPS_EXE,http://h/kps.exe\n"
        "PCSC_B_ISS,http://h/pcsc.iss\n"
        "KPS_ISS,http://h/kps.iss\n"
        "KL_EXE,http://h/kl.exe\n");
    UrlList urls(list.path);
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
    ListFile list(std::string("KPS_EXE,") + kKpsExe + "\nKL_EXE,http://h/a,b,,c\nKL_ISS,\n");
    UrlList urls(list.path);
    EXPECT_EQ(urls.Lookup("KPS_EXE"), kKpsExe);
    EXPECT_EQ(FileNameFromUrl(urls.Lookup("KPS_EXE")), "pkg.exe");
    EXPECT_EQ(urls.Lookup("KL_EXE"), "http://h/a,b,,c");
    EXPECT_EQ(urls.Lookup("KL_ISS"), "");
}

TEST(UrlListLookup, BlankAfterTheCommaGivesAnEmptyValueAndAnotherEntry)
{
    ListFile list("KPS_EXE, http://h/kps.exe\nKPS_EXE,http://h/second.exe\n");
    UrlList urls(list.path);
    EXPECT_EQ(urls.Lookup("KPS_EXE"), "");
    // The address on its own has no comma, so it is no entry of any key.
    EXPECT_EQ(urls.Lookup(" http://h/kps.exe"), "");
    EXPECT_EQ(urls.Lookup("http://h/kps.exe"), "");
}

TEST(UrlListLookup, KeysCompareExactly)
{
    ListFile list("kps_iss,http://h/lower\nKPS_ISSX,http://h/longer\nKPS_IS,http://h/shorter\n"
                  "KPS_ISS,http://h/right\n");
    UrlList urls(list.path);
    EXPECT_EQ(urls.Lookup("KPS_ISS"), "http://h/right");
    EXPECT_EQ(urls.Lookup("kps_iss"), "http://h/lower");
    EXPECT_EQ(urls.Lookup("KPS_I"), "");
    EXPECT_EQ(urls.Lookup(""), "");
}

TEST(UrlListLookup, EmptyKeyMatchesAnEntryStartingWithAComma)
{
    ListFile list("nocomma ,lead");
    UrlList urls(list.path);
    EXPECT_EQ(urls.Lookup(""), "lead");
    EXPECT_EQ(urls.Lookup("nocomma"), "");
}

TEST(UrlListLookup, FirstOfDuplicateKeysCounts)
{
    ListFile list("KL_EXE,http://h/first\nKL_EXE,http://h/second\n");
    UrlList urls(list.path);
    EXPECT_EQ(urls.Lookup("KL_EXE"), "http://h/first");
}

TEST(UrlListLookup, AnyWhiteSpaceSeparatesEntriesAndLinesPlayNoPart)
{
    ListFile list("\r\n\t KPS_ISS,http://h/a\r\nKPS_EXE,http://h/b\v\fKL_ISS,http://h/c KL_EXE,http://h/d\r\n");
    UrlList urls(list.path);
    EXPECT_EQ(urls.Lookup("KPS_ISS"), "http://h/a");
    EXPECT_EQ(urls.Lookup("KPS_EXE"), "http://h/b");
    EXPECT_EQ(urls.Lookup("KL_ISS"), "http://h/c");
    EXPECT_EQ(urls.Lookup("KL_EXE"), "http://h/d");
}

TEST(UrlListLookup, LastEntryWithoutLineEnd)
{
    ListFile list("KPS_ISS,http://h/a\nKPS_EXE,http://h/last");
    UrlList urls(list.path);
    EXPECT_EQ(urls.Lookup("KPS_EXE"), "http://h/last");
    EXPECT_EQ(urls.Lookup("KPS_ISS"), "http://h/a");
}

TEST(UrlListLookup, MissingOrEmptyFileHasNoEntries)
{
    UrlList missing("/tmp/kuvana_no_such_dir/url_list.txt");
    EXPECT_EQ(missing.Lookup("KPS_EXE"), "");
    ListFile empty("");
    UrlList urls(empty.path);
    EXPECT_EQ(urls.Lookup("KPS_EXE"), "");
    ListFile blanks(" \r\n\t\n");
    UrlList onlyBlanks(blanks.path);
    EXPECT_EQ(onlyBlanks.Lookup("KPS_EXE"), "");
}

TEST(UrlListLookup, ClosedListFindsNothing)
{
    ListFile list("KPS_EXE,http://h/a\n");
    UrlList urls(list.path);
    ASSERT_EQ(urls.Lookup("KPS_EXE"), "http://h/a");
    urls.Close();
    EXPECT_EQ(urls.Lookup("KPS_EXE"), "");
    urls.Close();  // twice is harmless
}

TEST(UrlListLookup, ReadsTheFileAsItIsAtEachLookup)
{
    ListFile list("KPS_EXE,http://h/old\n");
    UrlList urls(list.path);
    ASSERT_EQ(urls.Lookup("KPS_EXE"), "http://h/old");
    // A lookup that reached the end of the file does not leave the stream stuck there.
    ASSERT_EQ(urls.Lookup("KL_EXE"), "");
    EXPECT_EQ(urls.Lookup("KPS_EXE"), "http://h/old");
}

TEST(UrlListLookup, OverlongEntriesAreSkippedAndBytesAboveAsciiKept)
{
    // 2,048 characters is the longest entry read; a longer one is passed over,
    // so a later entry of the same key counts.
    const std::string longest = "KPS_EXE,http://h/" + std::string(2048 - 21, 'x') + ".exe";
    ASSERT_EQ(longest.size(), 2048u);
    ListFile list(longest + "\nKL_ISS,http://h/" + std::string(5000, 'y') + "\nKL_ISS,http://h/short\n" +
                  "KL_EXE,http://h/\x8A\xEE\xFF.exe\n");
    UrlList urls(list.path);
    EXPECT_EQ(urls.Lookup("KPS_EXE"), longest.substr(8));
    EXPECT_EQ(urls.Lookup("KL_ISS"), "http://h/short");
    EXPECT_EQ(urls.Lookup("KL_EXE"), "http://h/\x8A\xEE\xFF.exe");
    list.Write("KPS_EXE,http://h/" + std::string(2048 - 20, 'x') + ".exe\n");
    EXPECT_EQ(urls.Lookup("KPS_EXE"), "");
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

    std::string names[] = {"kps.iss", "KPS.exe", "KPS.ISS", "kl.exe", "", ""};
    std::string* const pointers[] = {&names[0], &names[1], &names[2], &names[3], &names[4], &names[5]};
    ClearDuplicateNames(pointers, 6);
    EXPECT_EQ(names[0], "");
    EXPECT_EQ(names[1], "KPS.exe");
    EXPECT_EQ(names[2], "");
    EXPECT_EQ(names[3], "kl.exe");
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
