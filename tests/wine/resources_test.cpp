// The module's identity and resources, read back from the built DLL under Wine.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "resources/module.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"
#include "support/dialog_template.h"

#include "wine/expected_strings.inc"

namespace {

HMODULE Dll()
{
    static HMODULE module = LoadLibraryA("kuvana_coinst.dll");
    return module;
}

std::wstring WideString(UINT id)
{
    WCHAR buffer[1024] = {};
    LoadStringW(Dll(), id, buffer, 1024);
    return buffer;
}

std::string ToCp932(const std::wstring& text)
{
    int size = WideCharToMultiByte(932, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(932, 0, text.c_str(), int(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

struct UiLanguage {
    LANGID saved;
    explicit UiLanguage(LANGID language) : saved(GetThreadUILanguage()) { SetThreadUILanguage(language); }
    ~UiLanguage() { SetThreadUILanguage(saved); }
};

// windres stores class names in upper case; window classes compare case-blind.
std::wstring Lower(std::wstring s)
{
    for (auto& c : s)
        c = towlower(c);
    return s;
}

std::string ResourceBytes(WORD type, WORD id, WORD language)
{
    HRSRC info = FindResourceExA(Dll(), MAKEINTRESOURCEA(type), MAKEINTRESOURCEA(id), language);
    if (info == nullptr)
        return std::string();
    const char* data = static_cast<const char*>(LockResource(LoadResource(Dll(), info)));
    return std::string(data, SizeofResource(Dll(), info));
}

DialogTemplate Dialog(WORD id)
{
    std::string bytes = ResourceBytes(5, id, MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    return ParseDialogTemplate(bytes.data(), bytes.size());
}

}  // namespace

TEST(StringTable, EnglishForAnyNonJapaneseUiLanguage)
{
    ASSERT_NE(Dll(), nullptr);
    if (GetUserDefaultUILanguage() == 0x0411)
        GTEST_SKIP() << "UI language is Japanese";
    for (LANGID ui : {LANGID(0x0409), LANGID(0x0407), LANGID(0x0804)}) {
        UiLanguage language(ui);
        for (const ExpectedString& s : kExpectedStrings) {
            EXPECT_EQ(WideString(s.id), s.english) << "id " << s.id << " ui " << ui;
            std::wstring english = s.english;
            EXPECT_EQ(LoadModuleString(s.id), std::string(english.begin(), english.end()));
        }
    }
}

// Wine picks the resource language from the process locale, not from the
// thread's UI language: this case runs in its own CTest entry under LC_ALL=ja_JP.
TEST(StringTable, JapaneseUnderJapaneseUiLanguageInCodePage932)
{
    ASSERT_NE(Dll(), nullptr);
    if (GetUserDefaultUILanguage() != 0x0411)
        GTEST_SKIP() << "UI language is not Japanese";
    UiLanguage language(0x0411);
    for (const ExpectedString& s : kExpectedStrings) {
        EXPECT_EQ(WideString(s.id), s.japanese) << "id " << s.id;
        EXPECT_EQ(ToCp932(WideString(s.id)), s.japaneseCp932) << "id " << s.id;
    }
}

TEST(StringTable, MessagesKeepTheirTwoBlanksAndInnerQuotes)
{
    ASSERT_NE(Dll(), nullptr);
    if (GetUserDefaultUILanguage() == 0x0411)
        GTEST_SKIP() << "UI language is Japanese";
    UiLanguage language(0x0409);
    EXPECT_NE(LoadModuleString(122).find("softwares.  Please press \"Retry\""), std::string::npos);
    EXPECT_NE(LoadModuleString(122).find("press \"Cancel\" to stop"), std::string::npos);
    EXPECT_NE(LoadModuleString(123).find("softwares.  Please press \"Retry\""), std::string::npos);
    EXPECT_NE(LoadModuleString(124).find("softwares.  Please install"), std::string::npos);
    EXPECT_EQ(LoadModuleString(999), "");
}

TEST(Dialogs, LicensePageTemplate)
{
    DialogTemplate t = Dialog(IDD_LICENSE_PAGE);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.style, DWORD(WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_CAPTION | DS_SETFONT | DS_FIXEDSYS));
    EXPECT_EQ(t.cx, 322);
    EXPECT_EQ(t.cy, 209);
    EXPECT_EQ(t.font, L"MS Shell Dlg");
    EXPECT_EQ(t.pointSize, 9);
    ASSERT_EQ(t.controls.size(), 3u);
    const DialogControl& edit = t.controls[0];
    EXPECT_EQ(edit.id, 1001u);
    EXPECT_EQ(Lower(edit.className), Lower(L"Edit"));
    EXPECT_EQ(edit.style & 0xFFFF0FFF, DWORD(WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOHSCROLL | ES_READONLY |
                                        WS_VSCROLL | WS_BORDER | WS_TABSTOP));
    EXPECT_EQ(edit.x, 3);
    EXPECT_EQ(edit.y, 5);
    EXPECT_EQ(edit.cx, 315);
    EXPECT_EQ(edit.cy, 95);
    for (int i = 1; i <= 2; ++i) {
        const DialogControl& radio = t.controls[i];
        EXPECT_EQ(radio.id, 1001u + i);
        EXPECT_EQ(Lower(radio.className), Lower(L"Button"));
        EXPECT_EQ(radio.style & 0xF, DWORD(BS_AUTORADIOBUTTON));
        EXPECT_EQ(radio.text, L"");
        EXPECT_EQ(radio.x, 3);
        EXPECT_EQ(radio.y, i == 1 ? 109 : 125);
        EXPECT_EQ(radio.cx, 315);
        EXPECT_EQ(radio.cy, 10);
    }
}

TEST(Dialogs, ProgressPageTemplate)
{
    DialogTemplate t = Dialog(IDD_PROGRESS_PAGE);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.style, DWORD(WS_CHILD | WS_DISABLED | WS_CAPTION | DS_SETFONT));
    EXPECT_EQ(t.cx, 327);
    EXPECT_EQ(t.cy, 203);
    ASSERT_EQ(t.controls.size(), 2u);
    EXPECT_EQ(t.controls[0].id, 1006u);
    EXPECT_EQ(Lower(t.controls[0].className), Lower(L"msctls_progress32"));
    EXPECT_TRUE(t.controls[0].style & WS_BORDER);
    EXPECT_EQ(t.controls[0].x, 17);
    EXPECT_EQ(t.controls[0].y, 77);
    EXPECT_EQ(t.controls[0].cx, 285);
    EXPECT_EQ(t.controls[0].cy, 16);
    EXPECT_EQ(t.controls[1].id, 0xFFFFFFFFu);
    EXPECT_EQ(Lower(t.controls[1].className), Lower(L"Static"));
    EXPECT_TRUE(t.controls[1].style & WS_GROUP);
    EXPECT_EQ(t.controls[1].text, L"");
    EXPECT_EQ(t.controls[1].cx, 288);
    EXPECT_EQ(t.controls[1].cy, 56);
}

TEST(Dialogs, StatusPageTemplate)
{
    DialogTemplate t = Dialog(IDD_STATUS_PAGE);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS));
    EXPECT_EQ(t.caption, L"Kuvana Port Software");
    EXPECT_EQ(t.cx, 288);
    EXPECT_EQ(t.cy, 143);
    ASSERT_EQ(t.controls.size(), 2u);
    EXPECT_EQ(t.controls[0].id, 1009u);
    EXPECT_EQ(Lower(t.controls[0].className), Lower(L"SysLink"));
    EXPECT_TRUE(t.controls[0].style & WS_TABSTOP);
    EXPECT_EQ(t.controls[0].x, 21);
    EXPECT_EQ(t.controls[0].y, 63);
    EXPECT_EQ(t.controls[1].id, 65535u);
    EXPECT_EQ(t.controls[1].text, L"s");
    EXPECT_EQ(t.controls[1].cx, 257);
    EXPECT_EQ(t.controls[1].cy, 8);
}

TEST(Manifest, SelectsCommonControlsSix)
{
    std::string manifest = ResourceBytes(24, 2, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_FALSE(manifest.empty());
    for (const char* part :
         {"version=\"1.0.0.0\" processorArchitecture=\"*\" name=\"kuvana_coinst.dll\" type=\"win32\"",
          "<description>Kuvana Port Class Installer</description>",
          "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" processorArchitecture=\"*\" "
          "publicKeyToken=\"6595b64144ccf1df\" language=\"*\""})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
}

TEST(VersionBlock, FieldsAsShipped)
{
    char path[MAX_PATH];
    ASSERT_TRUE(GetModuleFileNameA(Dll(), path, MAX_PATH));
    DWORD size = GetFileVersionInfoSizeA(path, nullptr);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, &block[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileOS, 4u);
    EXPECT_EQ(fixed->dwFileType, 0u);
    auto value = [&](const char* name) {
        char* text = nullptr;
        UINT len = 0;
        std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
        if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &len))
            return std::string("<missing>");
        return std::string(text);
    };
    EXPECT_EQ(value("FileVersion"), "1, 0, 0, 0");
    EXPECT_EQ(value("ProductVersion"), "1, 0, 0, 0");
    EXPECT_EQ(value("FileDescription"), "kuvana_coinst.dll");
    EXPECT_EQ(value("InternalName"), "kuvana_coinst.dll");
    EXPECT_EQ(value("OriginalFilename"), "kuvana_coinst.dll");
    EXPECT_EQ(value("ProductName"), "Kuvana Port/Vorsil");
}

TEST(LicenseTexts, JapaneseInCodePage932AndEnglishAscii)
{
    ASSERT_NE(Dll(), nullptr);
    std::string ja = LoadLicenseText(IDR_LICENSE_JAPANESE);
    std::string en = LoadLicenseText(IDR_LICENSE_ENGLISH);
    ASSERT_GT(ja.size(), 1000u);
    ASSERT_GT(en.size(), 1000u);
    // The loader stops at the first NUL; the resources hold none.
    EXPECT_EQ(ja.size(), ResourceBytes(23, 104, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)).size());
    EXPECT_EQ(en.size(), ResourceBytes(23, 125, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)).size());
    // Every line ends in CRLF, never a bare LF.
    for (const std::string* text : {&ja, &en})
        for (size_t i = 0; i < text->size(); ++i)
            if ((*text)[i] == '\n')
                ASSERT_TRUE(i > 0 && (*text)[i - 1] == '\r') << "bare LF at " << i;
    for (char c : en)
        ASSERT_TRUE(static_cast<unsigned char>(c) < 0x80);
    // Valid code page 932 that round-trips, and it says what it is.
    int wide = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, ja.data(), int(ja.size()), nullptr, 0);
    ASSERT_GT(wide, 0);
    std::wstring text(wide, L'\0');
    MultiByteToWideChar(932, 0, ja.data(), int(ja.size()), &text[0], wide);
    EXPECT_NE(text.find(L"\u4f7f\u7528\u8a31\u8afe\u5951\u7d04"), std::wstring::npos);
    EXPECT_TRUE(ToCp932(text) == ja) << "code page 932 text does not round-trip";
    EXPECT_EQ(en.rfind("END USER LICENSE AGREEMENT", 0), 0u);
    EXPECT_EQ(LoadLicenseText(777), "");
}

TEST(Icons, ThreeGroups)
{
    for (WORD id : {121, 122, 125})
        EXPECT_NE(FindResourceA(Dll(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(14)), nullptr) << id;
}

// Loaded under another file name, lookups by name find nothing; through the
// module's own instance, as DllMain records it, they find its strings.
TEST(OtherFileName, StringsAndLicenseStayEmpty)
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    char renamed[64] = {};
    if (GetEnvironmentVariableA("KUVANA_OTHER_NAME_CHILD", renamed, sizeof renamed) != 0) {
        ASSERT_EQ(GetModuleHandleA("kuvana_coinst.dll"), nullptr);
        HMODULE other = LoadLibraryA(renamed);
        ASSERT_NE(other, nullptr);
        char buffer[1024] = {};
        EXPECT_GT(LoadStringA(other, 101, buffer, 1024), 0);  // the resources are there
        EXPECT_EQ(LoadModuleString(101), "");
        EXPECT_EQ(LoadLicenseText(IDR_LICENSE_ENGLISH), "");
        moduleInstance = other;
        EXPECT_EQ(LoadModuleString(101), buffer);
        EXPECT_NE(LoadLicenseText(IDR_LICENSE_ENGLISH), "");
        moduleInstance = nullptr;
        return;
    }
    std::string dir(exe, strrchr(exe, '\\') + 1);
    // A name of this process's own, so parallel runs do not share the copy.
    std::string name = "kuvana_renamed_" + std::to_string(GetCurrentProcessId()) + ".dll";
    ASSERT_TRUE(CopyFileA((dir + "kuvana_coinst.dll").c_str(), (dir + name).c_str(), FALSE));
    SetEnvironmentVariableA("KUVANA_OTHER_NAME_CHILD", name.c_str());
    std::string command = std::string("\"") + exe + "\" --gtest_filter=OtherFileName.*";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    SetEnvironmentVariableA("KUVANA_OTHER_NAME_CHILD", nullptr);
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    DeleteFileA((dir + name).c_str());
    EXPECT_EQ(code, 0u);
}
