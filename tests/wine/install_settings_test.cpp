// The registry settings as the install sequence and the status page read them,
// from values this test writes under HKEY_LOCAL_MACHINE of the Wine prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "install/settings.h"

namespace {

// A key of the test's own, removed with everything in it afterwards.
class TestKey {
public:
    explicit TestKey(const std::string& path) : path(path)
    {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    }
    ~TestKey()
    {
        if (key != nullptr)
            RegCloseKey(key);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
    }
    bool Set(const char* name, DWORD type, const std::string& data)
    {
        return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size())) ==
               ERROR_SUCCESS;
    }
    bool SetText(const char* name, const std::string& text) { return Set(name, REG_SZ, text + '\0'); }

    const std::string path;
    HKEY key = nullptr;
};

std::string OwnKeyPath()
{
    return "SOFTWARE\\KuvanaSettingsTest" + std::to_string(GetCurrentProcessId());
}

TEST(ReadRegistryText, ReadsAStringValue)
{
    TestKey key(OwnKeyPath());
    ASSERT_TRUE(key.SetText("Name", "http://host/list.txt"));
    EXPECT_EQ(ReadRegistryText(key.path.c_str(), "Name"), "http://host/list.txt");
    ASSERT_TRUE(key.SetText("Empty", ""));
    EXPECT_EQ(ReadRegistryText(key.path.c_str(), "Empty"), "");
}

TEST(ReadRegistryText, MissingKeyOrValueIsEmpty)
{
    TestKey key(OwnKeyPath());
    EXPECT_EQ(ReadRegistryText(key.path.c_str(), "Absent"), "");
    EXPECT_EQ(ReadRegistryText((key.path + "\\No\\Such").c_str(), "Name"), "");
}

TEST(ReadRegistryText, ValuesOf1024CharactersOrMoreCountAsUnset)
{
    TestKey key(OwnKeyPath());
    const std::string fits(1023, 'a');  // with its NUL, exactly the buffer
    ASSERT_TRUE(key.SetText("Fits", fits));
    EXPECT_EQ(ReadRegistryText(key.path.c_str(), "Fits"), fits);
    ASSERT_TRUE(key.SetText("TooLong", std::string(1024, 'b')));
    EXPECT_EQ(ReadRegistryText(key.path.c_str(), "TooLong"), "");
    ASSERT_TRUE(key.SetText("FarTooLong", std::string(5000, 'c')));
    EXPECT_EQ(ReadRegistryText(key.path.c_str(), "FarTooLong"), "");
}

TEST(ReadRegistryText, DataIsTakenUpToItsFirstNulWhateverItsType)
{
    TestKey key(OwnKeyPath());
    ASSERT_TRUE(key.Set("TwoStrings", REG_MULTI_SZ, std::string("first\0second\0\0", 14)));
    EXPECT_EQ(ReadRegistryText(key.path.c_str(), "TwoStrings"), "first");
    // A full buffer of binary data without a NUL is taken whole, and no further.
    const std::string binary(1024, 'z');
    ASSERT_TRUE(key.Set("Binary", REG_BINARY, binary));
    EXPECT_EQ(ReadRegistryText(key.path.c_str(), "Binary"), binary);
    ASSERT_TRUE(key.Set("Unterminated", REG_SZ, "abc"));
    EXPECT_EQ(ReadRegistryText(key.path.c_str(), "Unterminated"), "abc");
    // The type is not examined: a number comes back as its bytes.
    ASSERT_TRUE(key.Set("Number", REG_DWORD, std::string("\x31\x32\x00\x00", 4)));
    EXPECT_EQ(ReadRegistryText(key.path.c_str(), "Number"), "12");
    ASSERT_TRUE(key.Set("Expand", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9)));
    EXPECT_EQ(ReadRegistryText(key.path.c_str(), "Expand"), "%TEMP%\\x");
}

TEST(Settings, NetInstallerKeyValues)
{
    TestKey key(kNetInstallerKey);
    EXPECT_EQ(ReadUrlListSetting(), "");
    EXPECT_EQ(ReadNetInstallerSetting(), "");
    ASSERT_TRUE(key.SetText("URL List", "http://mirror.example/list/url_list.txt"));
    ASSERT_TRUE(key.SetText("Net Installer", "http://mirror.example/ni.exe"));
    EXPECT_EQ(ReadUrlListSetting(), "http://mirror.example/list/url_list.txt");
    EXPECT_EQ(ReadNetInstallerSetting(), "http://mirror.example/ni.exe");
    ASSERT_TRUE(key.SetText("URL List", std::string(1024, 'u')));
    EXPECT_EQ(ReadUrlListSetting(), "");
    ASSERT_TRUE(key.SetText("URL List", ""));
    EXPECT_EQ(ReadUrlListSetting(), "");
}

TEST(Settings, BasicSoftwareVersionUnderItsJapaneseKey)
{
    if (GetACP() != 932)
        GTEST_SKIP() << "the key's name is code page 932 text; run with a Japanese locale";
    // The key as the older software's own installer creates it, named in Unicode.
    const std::wstring name =
        L"SOFTWARE\\Zorvik Corporation\\Vorsil \x57fa\x672c\x30bd\x30d5\x30c8\x30a6\x30a7\x30a2";
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, name.c_str());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(ReadBasicSoftwareVersion(), "");
    const wchar_t version[] = L"1.20.0";
    ASSERT_EQ(RegSetValueExW(key, L"CurrentVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                             sizeof(version)),
              ERROR_SUCCESS);
    EXPECT_EQ(ReadBasicSoftwareVersion(), "1.20.0");
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, name.c_str());
    EXPECT_EQ(ReadBasicSoftwareVersion(), "");
}

TEST(Settings, BasicSoftwareVersionKeyBytesInAnyCodePage)
{
    TestKey key(kBasicSoftwareKey);
    ASSERT_TRUE(key.SetText("CurrentVersion", "1.0"));
    EXPECT_EQ(ReadBasicSoftwareVersion(), "1.0");
}

}  // namespace
