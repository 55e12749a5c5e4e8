#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/coinstaller_list.h"

namespace {

using List = std::vector<std::wstring>;
const std::wstring ours = L"kuvana_coinst_0102.dll,ClassInstaller";

struct Edit {
    const char* name;
    bool add;  // else remove
    List before;
    List after;
};

// The class's value as the setup program's install and remove change it.
TEST(CoInstallerValue, Edits)
{
    const Edit edits[] = {
        {"install, no value", true, {}, {ours}},
        {"install, others kept in order", true, {L"a.dll,A", L"b.dll"}, {L"a.dll,A", L"b.dll", ours}},
        {"install, already there in other case and blanks", true, {L"a.dll,A", L"KUVANA_COINST_0102.DLL , classinstaller"},
         {L"a.dll,A", L"KUVANA_COINST_0102.DLL , classinstaller"}},
        {"install, an older version replaced", true, {L"kuvana_coinst_0100.dll,ClassInstaller", L"a.dll,A"},
         {L"a.dll,A", ours}},
        {"install, look-alike kept", true, {L"kuvana_coinst_x.dll,ClassInstaller"},
         {L"kuvana_coinst_x.dll,ClassInstaller", ours}},
        {"remove the last entry", false, {ours}, {}},
        {"remove one that is not the last", false, {L"a.dll,A", ours, L"b.dll"}, {L"a.dll,A", L"b.dll"}},
        {"remove, not there", false, {L"a.dll,A", L"kuvana_coinst_0100.dll,ClassInstaller"},
         {L"a.dll,A", L"kuvana_coinst_0100.dll,ClassInstaller"}},
    };
    for (const Edit& e : edits) {
        const List got = e.add ? setup::WithEntry(e.before, ours) : setup::WithoutEntry(e.before, ours);
        EXPECT_EQ(got, e.after) << e.name;
        // What is written reads back as the same list.
        EXPECT_EQ(setup::ParseMultiString(setup::BuildMultiString(got)), got) << e.name;
    }
}

TEST(CoInstallerValue, Bytes)
{
    const struct {
        std::wstring units;
        List entries;
    } cases[] = {
        {std::wstring(), {}},
        {std::wstring(L"\0\0", 2), {}},
        {std::wstring(L"a,A\0b\0\0", 7), {L"a,A", L"b"}},
        {std::wstring(L"a,A\0b", 5), {L"a,A", L"b"}},           // written without its final NULs
        {std::wstring(L"a\0\0stale\0\0", 11), {L"a"}},        // nothing after the list's end
        // Another vendor's entry outside any ANSI code page, and a lone surrogate.
        {std::wstring(L"\x0391\x03A9.dll,\x30AB\0\xD800x\0\0", 13), {L"\x0391\x03A9.dll,\x30AB", L"\xD800x"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(setup::ParseMultiString(c.units), c.entries) << c.units.size();
    EXPECT_EQ(setup::BuildMultiString({L"a,A", L"b"}), std::wstring(L"a,A\0b\0\0", 7));
}

TEST(CoInstallerValue, OurDllInAnyVersion)
{
    for (const wchar_t* entry : {L"kuvana_coinst.dll,ClassInstaller", L"KUVANA_COINST_0100.DLL,ClassInstaller",
                              L"C:\\Windows\\System32\\kuvana_coinst_0102.dll, ClassInstaller", L" kuvana_coinst.dll"})
        EXPECT_TRUE(setup::NamesOurCoInstaller(entry)) << entry;
    for (const wchar_t* entry : {L"kuvana_coinst_.dll,ClassInstaller", L"kuvana_coinst_1a.dll", L"xkuvana_coinst.dll",
                              L"kuvana_coinst.dll.bak", L"wmiprop.dll,WmiPropCoInstaller", L""})
        EXPECT_FALSE(setup::NamesOurCoInstaller(entry)) << entry;
}

}  // namespace
