// Driver file versions and the reader software's registration, read from real
// files and registry values in the prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "probe/driver_files.h"
#include "probe/software_probes.h"
#include "support/readers_scenario.h"

using readers::Translation;

namespace {

const char resultEnv[] = "KUVANA_PROBE_RESULT";

// Child mode: probe the driver files under the Windows version the prefix
// reports for this program, and write what came back.
int ProbeInChild(const char* resultFile)
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    DriverRecord records[3] = {};
    uint16_t count = 3;
    uint32_t status = ProbeDriverFiles(&count, records);
    FILE* out = std::fopen(resultFile, "w");
    if (out == nullptr)
        return 2;
    std::fprintf(out, "%lu %lu %u\n", static_cast<unsigned long>(info.dwMajorVersion), static_cast<unsigned long>(status),
                 unsigned(count));
    std::fclose(out);
    return 0;
}

struct ChildResult {
    unsigned long major = 0;
    unsigned long status = 0;
    unsigned count = 99;
};

ChildResult ProbeUnder(const char* version)
{
    ChildResult r;
    std::string text = readers::RunSelfWithWindowsVersion(version, resultEnv);
    if (std::sscanf(text.c_str(), "%lu %lu %u", &r.major, &r.status, &r.count) != 3)
        r.count = 98;
    return r;
}

void InstallFile(int kind, const std::vector<Translation>& translations)
{
    std::string error;
    ASSERT_TRUE(readers::InstallDriverFile(kind, translations, &error)) << error;
}

Translation T(WORD language, WORD codePage, const std::string& productVersion)
{
    Translation t;
    t.language = language;
    t.codePage = codePage;
    t.productVersion = productVersion;
    return t;
}

class DriverFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        readers::RemoveDriverFiles();
        readers::DeleteKey(readers::softwareKey);
    }
    void TearDown() override
    {
        readers::RemoveDriverFiles();
        readers::DeleteKey(readers::softwareKey);
    }
    uint32_t Probe(std::vector<DriverRecord>& records)
    {
        DriverRecord buffer[3];
        std::memset(buffer, 0xCC, sizeof buffer);
        uint16_t count = 3;
        uint32_t status = ProbeDriverFiles(&count, buffer);
        records.assign(buffer, buffer + (count <= 3 ? count : 3));
        return status;
    }
};

class SoftwareRegistration : public ::testing::Test {
protected:
    void SetUp() override
    {
        readers::DeleteKey(readers::softwareKey);
        readers::DeleteKey(readers::uninstallKey);
    }
    void TearDown() override { SetUp(); }
};

}  // namespace

TEST_F(DriverFiles, RecordsInKindOrderWithFlagsAndPackedVersions)
{
    InstallFile(2, {T(0x0409, 1200, "4.3.2.1")});
    InstallFile(0, {T(0x0411, 932, "300.1.2.3 beta")});
    InstallFile(1, {T(0x0409, 1252, "2.0.0.5")});
    ASSERT_TRUE(readers::SetDword(readers::softwareKey, "Kind", 4));
    std::vector<DriverRecord> records;
    EXPECT_EQ(0u, Probe(records));
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(0, records[0].kind);
    EXPECT_EQ(0x2C010203u, records[0].version);
    EXPECT_EQ(0xB0000000u, records[0].flags);
    EXPECT_EQ(1, records[1].kind);
    EXPECT_EQ(0x02000005u, records[1].version);
    EXPECT_EQ(0xB0000000u, records[1].flags);
    EXPECT_EQ(2, records[2].kind);
    EXPECT_EQ(0x04030201u, records[2].version);
    EXPECT_EQ(0x10000000u, records[2].flags);

    readers::DeleteKey(readers::softwareKey);
    EXPECT_EQ(0u, Probe(records));
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(0x90000000u, records[0].flags);
    EXPECT_EQ(0x90000000u, records[1].flags);
}

TEST_F(DriverFiles, MissingOrUnreadableFilesAreLeftOut)
{
    std::vector<DriverRecord> records;
    EXPECT_EQ(0u, Probe(records));
    EXPECT_TRUE(records.empty());

    InstallFile(2, {T(0x0409, 1200, "1.0.0.0")});
    EXPECT_EQ(0u, Probe(records));
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(2, records[0].kind);
    EXPECT_EQ(0x10000000u, records[0].flags);

    // The first translation decides; a later one with a ProductVersion is not consulted.
    InstallFile(1, {T(0x0409, 1200, ""), T(0x0411, 932, "9.9.9.9")});
    // A version text that does not scan still gives a record, with version 0.
    InstallFile(0, {T(0x0409, 1200, "1,0,0,0")});
    EXPECT_EQ(0u, Probe(records));
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(0, records[0].kind);
    EXPECT_EQ(0u, records[0].version);
    EXPECT_EQ(2, records[1].kind);

    // A file without any version resource.
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string plain = std::string(system) + "\\drivers\\zrvemb.sys";
    HANDLE file = CreateFileA(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "MZ", 2, &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(0u, Probe(records));
    EXPECT_EQ(2u, records.size());
}

TEST_F(DriverFiles, RefusesAHolderBelowThreeRecords)
{
    DriverRecord records[3];
    uint16_t count = 2;
    EXPECT_EQ(0x80000003u, ProbeDriverFiles(&count, records));
    EXPECT_EQ(2, count);
    EXPECT_EQ(0x80000003u, ProbeDriverFiles(nullptr, records));
}

// Every NT system from 5.x on is probed, Windows 10 and 11 (10.0 to a host
// that declares them) included; an older one (NT 4.0) is not.
TEST_F(DriverFiles, NtSystemsFromVersionFiveOnAreProbed)
{
    InstallFile(1, {T(0x0409, 1200, "1.0.0.0")});
    const struct {
        const char* version;
        unsigned long major, status;
        unsigned count;
    } cases[] = {{"winxp64", 5, 0, 1}, {"vista", 6, 0, 1}, {"win7", 6, 0, 1}, {"win10", 10, 0, 1},
                 {"nt40", 4, 0xFFFFFFFF, 0}};
    for (const auto& c : cases) {
        ChildResult r = ProbeUnder(c.version);
        EXPECT_EQ(c.major, r.major) << c.version;
        EXPECT_EQ(c.status, r.status) << c.version;
        EXPECT_EQ(c.count, r.count) << c.version;
    }
}

TEST_F(SoftwareRegistration, KindIsAFourByteDwordWithBitZeroOrTwo)
{
    EXPECT_FALSE(ReadSoftwareKind());
    const struct {
        DWORD value;
        bool kind;
    } cases[] = {{1, true}, {4, true}, {5, true}, {0x101, true}, {2, false}, {0, false}, {0xFFFFFFFA, false}};
    for (const auto& c : cases) {
        ASSERT_TRUE(readers::SetDword(readers::softwareKey, "Kind", c.value));
        EXPECT_EQ(c.kind, ReadSoftwareKind()) << c.value;
    }
    DWORD one = 1;
    ASSERT_TRUE(readers::SetValue(readers::softwareKey, "Kind", REG_BINARY, &one, 4));
    EXPECT_FALSE(ReadSoftwareKind());
    unsigned long long wide = 1;
    ASSERT_TRUE(readers::SetValue(readers::softwareKey, "Kind", REG_QWORD, &wide, 8));
    EXPECT_FALSE(ReadSoftwareKind());
    ASSERT_TRUE(readers::SetString(readers::softwareKey, "Kind", "1"));
    EXPECT_FALSE(ReadSoftwareKind());
}

TEST_F(SoftwareRegistration, DisplayVersionPresentWhenAStringOfNonZeroSize)
{
    char buffer[32] = {};
    EXPECT_FALSE(ReadDisplayVersion(buffer, sizeof buffer));  // no Uninstall key
    ASSERT_TRUE(readers::SetString(readers::uninstallKey, "DisplayName", "x"));
    EXPECT_FALSE(ReadDisplayVersion(buffer, sizeof buffer));  // no value

    ASSERT_TRUE(readers::SetString(readers::uninstallKey, "DisplayVersion", "3.1.4"));
    EXPECT_TRUE(ReadDisplayVersion(buffer, sizeof buffer));
    EXPECT_STREQ("3.1.4", buffer);
    ASSERT_TRUE(readers::SetString(readers::uninstallKey, "DisplayVersion", ""));
    EXPECT_TRUE(ReadDisplayVersion(buffer, sizeof buffer));  // size 1, the terminator
    ASSERT_TRUE(readers::SetString(readers::uninstallKey, "DisplayVersion", std::string(100, '9')));
    EXPECT_TRUE(ReadDisplayVersion(buffer, sizeof buffer));  // too long for 32 bytes, still present

    ASSERT_TRUE(readers::SetString(readers::uninstallKey, "DisplayVersion", "3.1.4", REG_EXPAND_SZ));
    EXPECT_FALSE(ReadDisplayVersion(buffer, sizeof buffer));
    DWORD number = 3;
    ASSERT_TRUE(readers::SetValue(readers::uninstallKey, "DisplayVersion", REG_DWORD, &number, 4));
    EXPECT_FALSE(ReadDisplayVersion(buffer, sizeof buffer));
    ASSERT_TRUE(readers::SetValue(readers::uninstallKey, "DisplayVersion", REG_SZ, "", 0));
    EXPECT_FALSE(ReadDisplayVersion(buffer, sizeof buffer));  // reported size 0
}

TEST_F(SoftwareRegistration, DisplayVersionNeverWritesPastASmallBuffer)
{
    ASSERT_TRUE(readers::SetString(readers::uninstallKey, "DisplayVersion", "12345678901234567890"));
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_TRUE(ReadDisplayVersion(buffer, 8));
    EXPECT_STREQ("1234567", buffer);
    for (int i = 8; i < 16; ++i)
        EXPECT_EQ('#', buffer[i]) << i;
    EXPECT_TRUE(ReadDisplayVersion(nullptr, 0));
}

int main(int argc, char** argv)
{
    char resultFile[MAX_PATH] = {};
    if (GetEnvironmentVariableA(resultEnv, resultFile, MAX_PATH) != 0)
        return ProbeInChild(resultFile);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
