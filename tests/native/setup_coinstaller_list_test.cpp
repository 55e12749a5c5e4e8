#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/coinstaller_list.h"

namespace {

using List = std::vector<std::string>;
const std::string ours = "kuvana_coinst_0102.dll,ClassInstaller";

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
        {"install, others kept in order", true, {"a.dll,A", "b.dll"}, {"a.dll,A", "b.dll", ours}},
        {"install, already there in other case and blanks", true, {"a.dll,A", "KUVANA_COINST_0102.DLL , classinstaller"},
         {"a.dll,A", "KUVANA_COINST_0102.DLL , classinstaller"}},
        {"install, an older version replaced", true, {"kuvana_coinst_0100.dll,ClassInstaller", "a.dll,A"},
         {"a.dll,A", ours}},
        {"install, look-alike kept", true, {"kuvana_coinst_x.dll,ClassInstaller"},
         {"kuvana_coinst_x.dll,ClassInstaller", ours}},
        {"remove the last entry", false, {ours}, {}},
        {"remove one that is not the last", false, {"a.dll,A", ours, "b.dll"}, {"a.dll,A", "b.dll"}},
        {"remove, not there", false, {"a.dll,A", "kuvana_coinst_0100.dll,ClassInstaller"},
         {"a.dll,A", "kuvana_coinst_0100.dll,ClassInstaller"}},
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
        std::string bytes;
        List entries;
    } cases[] = {
        {std::string(), {}},
        {std::string("\0\0", 2), {}},
        {std::string("a,A\0b\0\0", 7), {"a,A", "b"}},
        {std::string("a,A\0b", 5), {"a,A", "b"}},           // written without its final NULs
        {std::string("a\0\0stale\0\0", 11), {"a"}},        // nothing after the list's end
    };
    for (const auto& c : cases)
        EXPECT_EQ(setup::ParseMultiString(c.bytes), c.entries) << c.bytes.size();
    EXPECT_EQ(setup::BuildMultiString({"a,A", "b"}), std::string("a,A\0b\0\0", 7));
}

TEST(CoInstallerValue, OurDllInAnyVersion)
{
    for (const char* entry : {"kuvana_coinst.dll,ClassInstaller", "KUVANA_COINST_0100.DLL,ClassInstaller",
                              "C:\\Windows\\System32\\kuvana_coinst_0102.dll, ClassInstaller", " kuvana_coinst.dll"})
        EXPECT_TRUE(setup::NamesOurCoInstaller(entry)) << entry;
    for (const char* entry : {"kuvana_coinst_.dll,ClassInstaller", "kuvana_coinst_1a.dll", "xkuvana_coinst.dll",
                              "kuvana_coinst.dll.bak", "wmiprop.dll,WmiPropCoInstaller", ""})
        EXPECT_FALSE(setup::NamesOurCoInstaller(entry)) << entry;
}

}  // namespace
