// The license page in a real wizard (the wizard host over the real DLL): the
// question on leaving without accepting, the removal of the progress page, the
// license chosen by the system language and the texts by the UI language.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/test_windows.h"
#include "support/wizard_host_run.h"
#include "wine/expected_strings.inc"

namespace {

// The string in the language the resource loader picks in this process (the
// host runs with the same locale). Under Wine that follows the process locale,
// not the UI language alone; either way it must be one of the table's two.
std::string Expected(unsigned id)
{
    static HMODULE dll = LoadLibraryA("kuvana_coinst.dll");
    WCHAR text[1024] = {};
    LoadStringW(dll, id, text, 1024);
    std::string loaded = Utf8(text);
    bool known = false;
    for (const ExpectedString& s : kExpectedStrings)
        known = known || (s.id == id && (loaded == Utf8(s.english) || loaded == Utf8(s.japanese)));
    EXPECT_TRUE(known) << "string " << id << ": " << loaded;
    return loaded;
}

// What an ANSI page shows of it: the text through the ANSI code page (an
// English system shows Japanese strings as question marks).
std::string ExpectedAnsi(unsigned id)
{
    std::string utf8 = Expected(id);
    std::wstring wide(utf8.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), int(utf8.size()), &wide[0], int(wide.size())));
    int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string ansi(size, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), &ansi[0], size, nullptr, nullptr);
    std::wstring back(ansi.size() + 1, L'\0');
    back.resize(MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), int(ansi.size()), &back[0], int(back.size())));
    return Utf8(back);
}

struct License {
    std::string firstLine;
    size_t length = 0;  // in UTF-16 units, with CR LF line ends
};

License LicenseFile(const char* name)
{
    std::ifstream file(std::string(KUVANA_SOURCE_DIR "/resources/") + name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    std::string utf8 = text.str();
    License license;
    license.firstLine = utf8.substr(0, utf8.find('\n'));
    int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), int(utf8.size()), nullptr, 0);
    size_t lineFeeds = 0, carriageReturns = 0;
    for (char c : utf8) {
        lineFeeds += c == '\n';
        carriageReturns += c == '\r';
    }
    license.length = size_t(wide) + lineFeeds - carriageReturns;
    return license;
}

const char kToLicense[] = "dif 0x1e\n"
                          "show wizard\n"
                          "expect-page welcome\n"
                          "press next\n"
                          "expect-page 108\n";

class LicensePageRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(displayVersion.Remove());
        // The progress page's list download then fails at once instead of
        // looking for the maker's server.
        ASSERT_TRUE(urlList.Set("http://127.0.0.1:1/url_list.txt"));
    }

    HostRun Run(const std::string& script)
    {
        HostOptions options;
        options.shots = ScreenshotFolder();
        HostRun run = RunWizardHost(script, options);
        EXPECT_EQ(run.exitCode, 0) << run.report;
        return run;
    }

    RegistryValue displayVersion{kUninstallKey, "DisplayVersion"};
    RegistryValue urlList{kNetInstallerKey, "URL List"};
};

TEST_F(LicensePageRun, LeavingWithoutAcceptingAsksAndNoStaysOnThePage)
{
    HostRun run = Run(std::string(kToLicense) +
                      "answer no capture=license-question-en.png\n"
                      "press next\n"
                      "expect-page 108\n"
                      "check 1002\n"
                      "check 1003\n"
                      "dump\n"
                      "answer yes\n"
                      "press next\n"
                      "expect-page finish\n"
                      "press finish\n"
                      "wait-closed\n");
    std::vector<HostEvent> boxes = run.All("messagebox");
    ASSERT_EQ(boxes.size(), 2u) << run.report;
    EXPECT_EQ(run.First("capture")["ok"], "1") << run.report;
    for (const HostEvent& box : boxes) {
        std::string question = ExpectedAnsi(115);
        EXPECT_EQ(box["text"].substr(0, 60), question.substr(0, 60));
        EXPECT_EQ(box["length"],
                  std::to_string(MultiByteToWideChar(CP_UTF8, 0, question.c_str(), -1, nullptr, 0) - 1));
        EXPECT_EQ(box["caption"], "");
        EXPECT_EQ(box["buttons"], "yes,no");
        EXPECT_EQ(box["default"], "no");
        EXPECT_EQ(box["by"], "script");
    }
    // Yes takes the progress page out: the wizard goes straight to its end.
    std::vector<std::string> pages = run.PageTemplates();
    EXPECT_EQ(pages, (std::vector<std::string>{"201", "108", "202"})) << run.report;
    EXPECT_EQ(run.First("sheet")["result"], "1");
    // Back stays disabled whatever the radio buttons say.
    for (const HostEvent& buttons : run.All("buttons")) {
        if (buttons.raw.find("next=") != std::string::npos)
            EXPECT_EQ(buttons["back"], "0") << buttons.raw;
    }
    int dump = run.IndexOf("dump");
    ASSERT_GE(dump, 0);
    EXPECT_EQ(run.First("control", {{"id", "1003"}, {"checked", "1"}}).kind, "control");
}

TEST_F(LicensePageRun, AcceptingGoesOnToTheProgressPageWithoutAQuestion)
{
    HostRun run = Run(std::string(kToLicense) +
                      "check 1002\n"
                      "press next\n"
                      "expect-page 111\n"
                      "answer cancel\n"
                      "expect-page finish\n"
                      "press finish\n"
                      "wait-closed\n");
    int progress = run.IndexOf("page", {{"template", "111"}});
    ASSERT_GE(progress, 0) << run.report;
    for (int i = 0; i < progress; ++i)
        EXPECT_NE(run.events[i].kind, "messagebox") << run.events[i].raw;
    std::vector<std::string> pages = run.PageTemplates();
    ASSERT_GE(pages.size(), 3u);
    EXPECT_EQ(pages[1], "108");
    EXPECT_EQ(pages[2], "111");
}

// The license follows the system language whatever the UI language: this runs
// in its own CTest entries with the locale split both ways.
TEST_F(LicensePageRun, LicenseFollowsTheSystemLanguageAndTheTextsTheUiLanguage)
{
    bool japaneseSystem = GetSystemDefaultLangID() == 0x0411;
    HostRun run = Run(std::string(kToLicense) + "capture license-page-" +
                      (japaneseSystem ? "ja" : "en") + (GetUserDefaultUILanguage() == 0x0411 ? "-ui-ja" : "") +
                      ".png\npress cancel\nwait-closed\n");
    License expected = LicenseFile(japaneseSystem ? "license_ja.txt" : "license_en.txt");
    HostEvent text = run.First("control", {{"id", "1001"}});
    ASSERT_EQ(text.kind, "control") << run.report;
    EXPECT_EQ(text["text"].substr(0, expected.firstLine.size()), expected.firstLine);
    EXPECT_EQ(text["length"], std::to_string(expected.length)) << "the whole license, as stored";
    EXPECT_EQ(run.First("control", {{"id", "1002"}})["text"], ExpectedAnsi(101));
    EXPECT_EQ(run.First("control", {{"id", "1003"}})["text"], ExpectedAnsi(102));
    // The sheet loads the header strings itself, in Unicode.
    HostEvent page = run.First("page", {{"template", "108"}});
    EXPECT_EQ(page["title"], Expected(109));
    EXPECT_EQ(page["subtitle"], Expected(110));
    EXPECT_EQ(run.First("capture")["ok"], "1") << run.report;
}

}  // namespace
