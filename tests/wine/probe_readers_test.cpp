// Reader enumeration and identification against the simulated reader driver.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "probe/bounded_request.h"
#include "probe/reader_rules.h"
#include "probe/readers.h"
#include "support/readers_scenario.h"

using readers::Reader;

namespace {

void InstallOrFail(const std::vector<Reader>& list)
{
    std::string error;
    ASSERT_TRUE(readers::Install(list, &error)) << error;
}

Reader Emb(uint32_t unit, uint32_t identity, const std::string& name = std::string())
{
    Reader r;
    r.kind = 1;
    r.unit = unit;
    r.word = uint16_t(0x1100 + unit);
    r.identity = identity;
    if (!name.empty())
        r.names[readers::english] = name;
    return r;
}

Reader Port(uint32_t unit, uint32_t identity, const std::string& name = std::string())
{
    Reader r = Emb(unit, identity, name);
    r.kind = 0;
    return r;
}

Reader PcCard(uint32_t unit, uint32_t identity)
{
    Reader r = Emb(unit, identity);
    r.kind = 2;
    return r;
}

std::vector<DeviceRecord> Enumerate(int* result = nullptr, uint16_t capacity = 32)
{
    std::vector<DeviceRecord> records(capacity);
    uint16_t count = capacity;
    int status = EnumerateReaders(&count, records.data());
    if (result != nullptr)
        *result = status;
    records.resize(count <= capacity ? count : capacity);
    return records;
}

std::string Identify(const DeviceRecord& device)
{
    DriverRecord driver = {device.kind, 0x10000000u, 0x01000000u};
    ReaderEntry entry;
    IdentifyReader(entry, driver, device);
    EXPECT_EQ(&driver, entry.driver);
    return entry.modelName;
}

class ProbeReaders : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int kind = 0; kind < 3; ++kind)
            readers::DeleteKey(readers::ParametersKey(kind));
    }
    static void TearDownTestSuite() { readers::RemoveAll(); }
};

}  // namespace

TEST_F(ProbeReaders, PassesRunEmbThenPortThenPcCardWithTheirRecords)
{
    Reader emb = Emb(3, 0x0ABCC011, "TQ-410/P");
    emb.driverVersion = "2.1.0.13";
    Reader port = Port(7, 0x00001232);
    port.driverVersion = "3.0.1.2";
    // interface order: port first, then the PC Card reader, then the emb reader
    InstallOrFail({port, PcCard(4, 0x12345601), emb});
    ASSERT_TRUE(readers::SetDword(readers::ParametersKey(1), "101c", 0x20));
    ASSERT_TRUE(readers::SetDword(readers::ParametersKey(2), "101", 0x21));

    int result = -2;
    std::vector<DeviceRecord> records = Enumerate(&result);
    EXPECT_EQ(0, result);
    ASSERT_EQ(3u, records.size());

    EXPECT_EQ(kindZrvemb, records[0].kind);
    EXPECT_EQ(3, records[0].unitNumber);
    EXPECT_EQ(0x1103, records[0].replyWord);
    EXPECT_EQ(0x1ABCC011u, records[0].readerId);
    EXPECT_EQ(3u, records[0].flags);
    EXPECT_EQ(0x0201000Du, records[0].driverVersion);

    EXPECT_EQ(kindZrvport, records[1].kind);
    EXPECT_EQ(7, records[1].unitNumber);
    EXPECT_EQ(0x10001232u, records[1].readerId);
    EXPECT_EQ(0u, records[1].flags);  // no Parameters flag for zrvport
    EXPECT_EQ(0x03000102u, records[1].driverVersion);

    EXPECT_EQ(kindZrvpccard, records[2].kind);
    EXPECT_EQ(4, records[2].unitNumber);
    EXPECT_EQ(0x42345601u, records[2].readerId);
    EXPECT_EQ(2u, records[2].flags);
    EXPECT_EQ(0u, records[2].driverVersion);

    uint16_t count = 0;
    EXPECT_EQ(0, EnumerateReaders(&count, nullptr));
    EXPECT_EQ(3, count);
}

TEST_F(ProbeReaders, CapacityLimitsTheRecordsWritten)
{
    InstallOrFail({Emb(0, 0xC011), Emb(1, 0xC012), Port(2, 1), PcCard(3, 1)});
    std::vector<DeviceRecord> records(4);
    records[2].kind = 77;
    uint16_t count = 2;
    EXPECT_EQ(0, EnumerateReaders(&count, records.data()));
    EXPECT_EQ(2, count);
    EXPECT_EQ(1u, records[1].unitNumber);
    EXPECT_EQ(77, records[2].kind);  // nothing written past the capacity
    count = 0;
    EXPECT_EQ(0, EnumerateReaders(&count, nullptr));
    EXPECT_EQ(4, count);
}

TEST_F(ProbeReaders, FailedRequestsSkipOrDefineTheReader)
{
    Reader embNoIdentity = Emb(0, 0xC011);
    embNoIdentity.failures["2221E4"] = ERROR_IO_DEVICE;
    Reader embNoUnit = Emb(1, 0xC011);
    embNoUnit.failures["2221FC"] = ERROR_NOT_READY;
    Reader embNoOpen = Emb(2, 0xC011);
    embNoOpen.failures["Open"] = ERROR_ACCESS_DENIED;
    Reader portNoIdentity = Port(3, 0x1231);
    portNoIdentity.word = 0xBEEF;
    portNoIdentity.failures["222444"] = ERROR_CRC;
    Reader portNoWord = Port(4, 1);
    portNoWord.failures["222450"] = ERROR_CRC;
    Reader cardNoIdentity = PcCard(5, 0x77);
    cardNoIdentity.failures["222444"] = ERROR_GEN_FAILURE;
    InstallOrFail({embNoIdentity, embNoUnit, embNoOpen, Emb(6, 0xC021), portNoIdentity, portNoWord, cardNoIdentity});

    std::vector<DeviceRecord> records = Enumerate();
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(6, records[0].unitNumber);
    // Passes B and C keep a reader whose identity request failed, with the
    // zero-filled reply: group 2 or 4 and no identity bits.
    EXPECT_EQ(3, records[1].unitNumber);
    EXPECT_EQ(0x20000000u, records[1].readerId);
    EXPECT_EQ(0xBEEF, records[1].replyWord);
    EXPECT_EQ(5, records[2].unitNumber);
    EXPECT_EQ(0x40000000u, records[2].readerId);
}

TEST_F(ProbeReaders, NoReadersAtAll)
{
    InstallOrFail({});
    int result = -2;
    EXPECT_TRUE(Enumerate(&result).empty());
    EXPECT_EQ(0, result);
    uint16_t count = 9;
    EXPECT_EQ(0, EnumerateReaders(&count, nullptr));
    EXPECT_EQ(0, count);
}

TEST_F(ProbeReaders, DevicePathWithoutBraceEndsThePassesOfTheFirstClass)
{
    InstallOrFail({Emb(0, 0xC011), Emb(1, 0xC012), Port(2, 1), PcCard(3, 1)});
    std::string error;
    ASSERT_TRUE(readers::AddInterfaceWithoutBrace(0, &error)) << error;
    std::vector<DeviceRecord> records = Enumerate();
    // The entry follows the first reader: the emb pass keeps that one, the
    // port pass meets the entry before its reader, the PC Card pass is apart.
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(kindZrvemb, records[0].kind);
    EXPECT_EQ(0, records[0].unitNumber);
    EXPECT_EQ(kindZrvpccard, records[1].kind);
    ASSERT_TRUE(readers::RemoveAll(&error)) << error;
}

TEST_F(ProbeReaders, OpenReaderUnitTakesTheFirstInterfaceWhoseUnitPathOpens)
{
    Reader busy = Emb(8, 0xC011, "busy");
    busy.failures["Unit"] = ERROR_SHARING_VIOLATION;
    InstallOrFail({Emb(0, 0xC011, "zero"), Emb(5, 0xC011, "five"), busy, Port(5, 1, "port five"), PcCard(5, 1)});

    auto nameBehind = [](int32_t kind, int unit) {
        HANDLE handle = nullptr;
        uint32_t status = OpenReaderUnit(kind, unit, &handle);
        if (status != 0)
            return std::string("error ") + std::to_string(status);
        char text[128] = {};
        QueryModelName(kind, handle, text);
        CloseHandle(handle);
        return std::string(text);
    };
    EXPECT_EQ("five", nameBehind(kindZrvemb, 5));
    EXPECT_EQ("zero", nameBehind(kindZrvemb, 0));
    EXPECT_EQ("port five", nameBehind(kindZrvport, 5));
    HANDLE handle = nullptr;
    EXPECT_EQ(0u, OpenReaderUnit(kindZrvpccard, 5, &handle));
    CloseHandle(handle);

    // A unit no interface has: "not found" ends the search, no handle.
    handle = nullptr;
    EXPECT_EQ(0x80000001u, OpenReaderUnit(kindZrvemb, 9, &handle));
    EXPECT_EQ(INVALID_HANDLE_VALUE, handle);
    EXPECT_EQ(0x80000001u, OpenReaderUnit(kindZrvpccard, 9, &handle));
    EXPECT_EQ(0x80000003u, OpenReaderUnit(kindZrvemb, 0, nullptr));

    // The busy unit refuses its open (Wine reports it at the first request):
    // the reader keeps its table name.
    std::vector<DeviceRecord> records = Enumerate();
    ASSERT_EQ(5u, records.size());
    EXPECT_EQ("TQ-410/P", Identify(records[2]));
    EXPECT_EQ("five", Identify(records[1]));
}

TEST_F(ProbeReaders, AnInterfaceWithoutTheUnitEndsTheSearch)
{
    Reader silent = Emb(1, 0xC011, "silent");
    silent.refuseOtherUnits = false;  // other units' paths do not exist here
    InstallOrFail({silent, Emb(5, 0xC011, "five")});
    HANDLE handle = nullptr;
    EXPECT_EQ(0x80000001u, OpenReaderUnit(kindZrvemb, 5, &handle));
    EXPECT_EQ(0u, OpenReaderUnit(kindZrvemb, 1, &handle));
    CloseHandle(handle);
    std::vector<DeviceRecord> records = Enumerate();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("silent", Identify(records[0]));
    EXPECT_EQ("TQ-410/P", Identify(records[1]));
}

// A request the reader never completes is cancelled after its time bound and
// reported as a timeout, each time it is asked; identification then falls back
// to the table name.
TEST_F(ProbeReaders, AnUnansweredRequestTimesOutAndIsCancelled)
{
    Reader stalled = Emb(0, 0xC011, "named");
    stalled.stalls.push_back("222804");
    InstallOrFail({stalled});
    for (int round = 0; round < 2; ++round) {
        HANDLE handle = nullptr;
        ASSERT_EQ(0u, OpenReaderUnit(kindZrvemb, 0, &handle));
        char text[128] = {'x'};
        const ULONGLONG t0 = GetTickCount64();
        EXPECT_EQ(0x80000005u, QueryModelName(kindZrvemb, handle, text));
        const ULONGLONG elapsed = GetTickCount64() - t0;
        EXPECT_GE(elapsed + 50, ULONGLONG(readerRequestTimeoutMs));
        EXPECT_LT(elapsed, ULONGLONG(readerRequestTimeoutMs) + 1000);
        EXPECT_EQ('x', text[0]);  // nothing written on failure
        CloseHandle(handle);
    }
    std::vector<DeviceRecord> records = Enumerate();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("TQ-410/P", Identify(records[0]));

    // A driver that ignores the cancellation too: the caller gives up after a
    // second bound; the request ends only at the close, into memory the
    // caller has left to it.
    stalled.stallsIgnoreCancel = true;
    InstallOrFail({stalled});
    HANDLE handle = nullptr;
    ASSERT_EQ(0u, OpenReaderUnit(kindZrvemb, 0, &handle));
    char text[128] = {};
    const ULONGLONG t0 = GetTickCount64();
    EXPECT_EQ(0x80000005u, QueryModelName(kindZrvemb, handle, text));
    EXPECT_LT(GetTickCount64() - t0, 2 * ULONGLONG(readerRequestTimeoutMs) + 1000);
    CloseHandle(handle);
    EXPECT_EQ(1u, Enumerate().size());
}

TEST_F(ProbeReaders, IdentifyPrefersTheReportedNameAndFallsBackToTheTable)
{
    Reader named = Emb(0, 0xC011, "TQ-470 Plus");
    Reader empty = Emb(1, 0xC011, "");
    Reader unprepared = Emb(2, 0x8032, "TQ-999");
    unprepared.failures["2221D0"] = ERROR_SEM_TIMEOUT;
    Reader unnamed = Emb(3, 0xFFFFFFFF);
    unnamed.failures["222804"] = ERROR_NOT_READY;
    Reader portNamed = Port(4, 2, "TQ-460 port");
    Reader portUnprepared = Port(5, 2, "TQ-460 port");
    portUnprepared.failures["222488"] = ERROR_IO_DEVICE;
    Reader long128 = Emb(6, 0xC011, std::string(128, 'M'));
    InstallOrFail({named, empty, unprepared, unnamed, long128, portNamed, portUnprepared, PcCard(7, 0x0201),
                   PcCard(8, 0x0202)});

    std::vector<DeviceRecord> records = Enumerate();
    ASSERT_EQ(9u, records.size());
    EXPECT_EQ("TQ-470 Plus", Identify(records[0]));
    EXPECT_EQ("TQ-410/P", Identify(records[1]));
    EXPECT_EQ("TQ-721", Identify(records[2]));
    EXPECT_EQ("unknown", Identify(records[3]));  // group 1 by the all-ones identity
    EXPECT_EQ(std::string(127, 'M'), Identify(records[4]));
    EXPECT_EQ("TQ-460 port", Identify(records[5]));
    EXPECT_EQ("unknown", Identify(records[6]));
    EXPECT_EQ("TQ-440", Identify(records[7]));  // the card answers, but is never asked its name
    EXPECT_EQ("unknown", Identify(records[8]));

    // A reader that is gone keeps its table name.
    DeviceRecord gone = records[1];
    gone.unitNumber = 42;
    EXPECT_EQ("TQ-410/P", Identify(gone));
}

TEST_F(ProbeReaders, ModelNameFollowsTheUserLanguageAndTheDiagnosticFile)
{
    Reader r = Emb(0, 0xC011);
    r.names[readers::english] = "English name";
    r.names[readers::japanese] = "\x93\xfa\x96\x7b\x8c\xea";
    r.names[readers::chinese] = "Chinese name";
    InstallOrFail({r});

    char directory[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    std::string work = std::string(directory) + "kuvana_probe_lang";
    CreateDirectoryA(work.c_str(), nullptr);
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryA(work.c_str()));
    DeleteFileA("kuvanadiag3JPN.dll");
    DeleteFileA("kuvanadiag3CHN.dll");

    auto query = []() {
        HANDLE handle = nullptr;
        char text[128];
        std::memset(text, 'x', sizeof text);
        if (OpenReaderUnit(kindZrvemb, 0, &handle) != 0)
            return std::string("(no unit)");
        uint32_t status = QueryModelName(kindZrvemb, handle, text);
        CloseHandle(handle);
        return status == 0 ? std::string(text) : std::string("(failed)");
    };
    const LANGID user = GetUserDefaultLangID();
    EXPECT_EQ(GetEnvironmentVariableA("KUVANA_EXPECT_JAPANESE", nullptr, 0) != 0, user == 0x0411);
    EXPECT_EQ(GetEnvironmentVariableA("KUVANA_EXPECT_CHINESE", nullptr, 0) != 0, user == 0x0804);
    // Without the diagnostic files every language asks for the English name.
    EXPECT_EQ("English name", query());
    auto touch = [](const char* name) {
        HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(file);
    };
    touch("kuvanadiag3CHN.dll");
    EXPECT_EQ(user == 0x0804 ? "Chinese name" : "English name", query());
    DeleteFileA("kuvanadiag3CHN.dll");
    touch("kuvanadiag3JPN.dll");
    EXPECT_EQ(user == 0x0411 ? "\x93\xfa\x96\x7b\x8c\xea" : "English name", query());
    touch("kuvanadiag3CHN.dll");
    EXPECT_EQ(user == 0x0411 ? "\x93\xfa\x96\x7b\x8c\xea" : user == 0x0804 ? "Chinese name" : "English name", query());
    DeleteFileA("kuvanadiag3JPN.dll");
    DeleteFileA("kuvanadiag3CHN.dll");
    SetCurrentDirectoryA(saved);

    char text[128];
    EXPECT_EQ(0x80000003u, QueryModelName(kindZrvemb, nullptr, text));
    EXPECT_EQ(0x80000003u, QueryModelName(kindZrvemb, INVALID_HANDLE_VALUE, text));
}

TEST_F(ProbeReaders, InterfaceDriverVersionWalksToTheDriverKey)
{
    Reader r = Emb(0, 0xC011);
    r.driverVersion = "7.6.5.4";
    InstallOrFail({r});
    const std::string path = readers::DevicePath(0);
    ASSERT_FALSE(path.empty());
    const char* brace = std::strrchr(path.c_str(), '{');
    ASSERT_NE(nullptr, brace);
    uint32_t version = 0;
    EXPECT_EQ(0, InterfaceDriverVersion(path.c_str(), &version, brace));
    EXPECT_EQ(0x07060504u, version);

    // A path whose key name does not fit 260 bytes fails instead of overflowing.
    std::string longPath = path;
    longPath.insert(longPath.find('#') + 1, std::string(200, 'X'));
    version = 1;
    EXPECT_EQ(-1, InterfaceDriverVersion(longPath.c_str(), &version, brace));
    EXPECT_EQ(1u, version);
    EXPECT_EQ(-1, InterfaceDriverVersion("\\\\?\\root#nothing#0000#{00000000-0000-0000-0000-000000000000}", &version,
                                         "{00000000-0000-0000-0000-000000000000}"));

    // DriverVersion must be a string.
    char driver[MAX_PATH] = {};
    HKEY key = nullptr;
    DWORD size = sizeof driver;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\ROOT\\ZRVSIM\\0000", 0,
                                           KEY_READ, &key));
    RegQueryValueExA(key, "Driver", nullptr, nullptr, reinterpret_cast<BYTE*>(driver), &size);
    RegCloseKey(key);
    const std::string classKey = std::string("SYSTEM\\CurrentControlSet\\Control\\Class\\") + driver;
    ASSERT_TRUE(readers::SetDword(classKey, "DriverVersion", 0x07060504));
    EXPECT_EQ(-1, InterfaceDriverVersion(path.c_str(), &version, brace));
    // and the emb pass ends there
    EXPECT_TRUE(Enumerate().empty());
}

TEST_F(ProbeReaders, ParametersFlagIsAStrictDwordWithBitFive)
{
    for (int kind = 0; kind < 3; ++kind) {
        const std::string key = readers::ParametersKey(kind);
        const std::string value = readers::ParametersValue(kind);
        EXPECT_FALSE(ReadParametersFlag(kind)) << kind;
        ASSERT_TRUE(readers::SetDword(key, value, 0x20));
        EXPECT_TRUE(ReadParametersFlag(kind)) << kind;
        ASSERT_TRUE(readers::SetDword(key, value, 0xFFFFFFDF));
        EXPECT_FALSE(ReadParametersFlag(kind)) << kind;
        DWORD bits = 0x20;
        ASSERT_TRUE(readers::SetValue(key, value, REG_BINARY, &bits, 4));
        EXPECT_FALSE(ReadParametersFlag(kind)) << kind;
        unsigned long long wide = 0x20;
        ASSERT_TRUE(readers::SetValue(key, value, REG_QWORD, &wide, 8));
        EXPECT_FALSE(ReadParametersFlag(kind)) << kind;
        ASSERT_TRUE(readers::SetString(key, value, "32"));
        EXPECT_FALSE(ReadParametersFlag(kind)) << kind;
        readers::DeleteKey(key);
    }
}
