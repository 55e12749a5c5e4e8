// What the readers' replies mean: record contents of the three passes, groups,
// fallback names, error codes, paths, language and the package selection.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "probe/reader_rules.h"

namespace {

DeviceRecord Record(int32_t kind, uint32_t identity, bool parametersFlag = false, uint32_t unit = 0x1203,
                    uint16_t word = 0xBEEF, uint32_t version = 0x01020304)
{
    EnumerationReplies replies = {unit, word, identity};
    return MakeDeviceRecord(kind, replies, parametersFlag, version);
}

DeviceRecord WithId(int32_t kind, uint32_t readerId)
{
    DeviceRecord r = {};
    r.kind = kind;
    r.readerId = readerId;
    return r;
}

}  // namespace

TEST(DeviceRecordLayout, PackedLittleEndianFields)
{
    EXPECT_EQ(19u, sizeof(DeviceRecord));
    EXPECT_EQ(0u, offsetof(DeviceRecord, kind));
    EXPECT_EQ(4u, offsetof(DeviceRecord, unitNumber));
    EXPECT_EQ(5u, offsetof(DeviceRecord, readerId));
    EXPECT_EQ(9u, offsetof(DeviceRecord, flags));
    EXPECT_EQ(13u, offsetof(DeviceRecord, replyWord));
    EXPECT_EQ(15u, offsetof(DeviceRecord, driverVersion));
    EXPECT_EQ(12u, sizeof(DriverRecord));
}

TEST(EmbPass, GroupsFromBits14And15AndTheSeries)
{
    // bits 14+15 set, series 4 -> group 8
    EXPECT_EQ(0x8000C041u, Record(kindZrvemb, 0x0000C041).readerId);
    // bits 14+15 set, other series -> group 1
    EXPECT_EQ(0x1000C011u, Record(kindZrvemb, 0x0000C011).readerId);
    EXPECT_EQ(0x1000C071u, Record(kindZrvemb, 0xF000C071).readerId);  // top bits of the reply are replaced
    // only one of bits 14/15 -> group 2, whatever the series
    EXPECT_EQ(0x20004041u, Record(kindZrvemb, 0x00004041).readerId);
    EXPECT_EQ(0x20008011u, Record(kindZrvemb, 0x00008011).readerId);
    EXPECT_EQ(0x20000000u, Record(kindZrvemb, 0).readerId);
    EXPECT_EQ(0x2FFF3FFFu, Record(kindZrvemb, 0xFFFF3FFF).readerId);
}

TEST(EmbPass, FlagsAndTheAllOnesReply)
{
    EXPECT_EQ(1u, Record(kindZrvemb, 0x0000C011).flags);
    EXPECT_EQ(3u, Record(kindZrvemb, 0x0000C011, true).flags);
    EXPECT_EQ(3u, Record(kindZrvemb, 0x00000000, true).flags);
    DeviceRecord r = Record(kindZrvemb, 0xFFFFFFFF, true);
    EXPECT_EQ(0x10000000u, r.readerId);
    EXPECT_EQ(0u, r.flags);
    EXPECT_STREQ("unknown", FallbackModelName(r));
}

TEST(PortPass, GroupsFromTheLowFourBits)
{
    const uint32_t expected[16] = {2, 1, 1, 1, 2, 8, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
    for (uint32_t n = 0; n < 16; ++n) {
        DeviceRecord r = Record(kindZrvport, 0xABCDE120 | n, true);
        EXPECT_EQ(expected[n], ReaderGroup(r.readerId)) << n;
        EXPECT_EQ(0x0BCDE120u | n, r.readerId & 0x0FFFFFFFu) << n;
        // group 8 never gets the Parameters flag; nobody gets bit 0
        EXPECT_EQ(n == 5 ? 0u : 2u, r.flags) << n;
    }
    EXPECT_EQ(0u, Record(kindZrvport, 1, false).flags);
    // A failed identity request leaves the zero-filled reply: a defined group-2 reader.
    EXPECT_EQ(0x20000000u, Record(kindZrvport, 0).readerId);
}

TEST(PcCardPass, AlwaysGroupFourAndNoDriverVersion)
{
    DeviceRecord r = Record(kindZrvpccard, 0x0F000001, true);
    EXPECT_EQ(0x4F000001u, r.readerId);
    EXPECT_EQ(2u, r.flags);
    EXPECT_EQ(0u, r.driverVersion);
    EXPECT_EQ(0x40000000u, Record(kindZrvpccard, 0xF0000000).readerId);
    EXPECT_EQ(0u, Record(kindZrvpccard, 5).flags);
}

TEST(AllPasses, UnitWordAndVersionCarriedOver)
{
    DeviceRecord r = Record(kindZrvemb, 0xC011, false, 0xABCD0107, 0x1234, 0x05060708);
    EXPECT_EQ(kindZrvemb, r.kind);
    EXPECT_EQ(0x07, r.unitNumber);
    EXPECT_EQ(0x1234, r.replyWord);
    EXPECT_EQ(0x05060708u, r.driverVersion);
    r = Record(kindZrvport, 2, false, 0x100, 7, 0x09000000);
    EXPECT_EQ(0, r.unitNumber);
    EXPECT_EQ(0x09000000u, r.driverVersion);
}

TEST(FallbackModelName, EmbTable)
{
    EXPECT_STREQ("TQ-410/P", FallbackModelName(WithId(kindZrvemb, 0x1000C011)));
    EXPECT_STREQ("TQ-410/S", FallbackModelName(WithId(kindZrvemb, 0x20004012)));
    EXPECT_STREQ("TQ-720", FallbackModelName(WithId(kindZrvemb, 0x20008031)));
    EXPECT_STREQ("TQ-721", FallbackModelName(WithId(kindZrvemb, 0x20000032)));
    EXPECT_STREQ("TQ-725", FallbackModelName(WithId(kindZrvemb, 0x20000033)));
    EXPECT_STREQ("TQ-728", FallbackModelName(WithId(kindZrvemb, 0x20000034)));
    EXPECT_STREQ("TQ-72UC", FallbackModelName(WithId(kindZrvemb, 0x80004041)));
    EXPECT_STREQ("TQ-72UC", FallbackModelName(WithId(kindZrvemb, 0x20000041)));
    // neighbours of each row
    EXPECT_STREQ("unknown", FallbackModelName(WithId(kindZrvemb, 0x10000011)));  // 410 without bit 14
    EXPECT_STREQ("unknown", FallbackModelName(WithId(kindZrvemb, 0x1000C013)));
    EXPECT_STREQ("unknown", FallbackModelName(WithId(kindZrvemb, 0x1000C031)));  // 720 with bit 14
    EXPECT_STREQ("unknown", FallbackModelName(WithId(kindZrvemb, 0x20000035)));
    EXPECT_STREQ("unknown", FallbackModelName(WithId(kindZrvemb, 0x20000042)));
    EXPECT_STREQ("unknown", FallbackModelName(WithId(kindZrvemb, 0x20010081)));  // bit 7 is not the series
    // only the low 16 bits are looked at
    EXPECT_STREQ("TQ-720", FallbackModelName(WithId(kindZrvemb, 0x2FFF0031)));
}

TEST(FallbackModelName, PortAndPcCard)
{
    EXPECT_STREQ("unknown", FallbackModelName(WithId(kindZrvport, 0x1000C011)));
    EXPECT_STREQ("TQ-440", FallbackModelName(WithId(kindZrvpccard, 0x40000001)));
    EXPECT_STREQ("TQ-440", FallbackModelName(WithId(kindZrvpccard, 0x40ABCD01)));
    EXPECT_STREQ("unknown", FallbackModelName(WithId(kindZrvpccard, 0x40000101 + 1)));
    EXPECT_STREQ("unknown", FallbackModelName(WithId(kindZrvpccard, 0x40000000)));
}

TEST(MapDeviceError, TableAndKindIndependence)
{
    const struct {
        uint32_t error;
        uint32_t code;
    } table[] = {{0, 0},           {1, 0x80000009},    {5, 0x80000009},   {22, 0x80000009},
                 {1167, 0x80000009}, {2, 0x80000001},  {3, 0x80000001},   {21, 0x80000002},
                 {23, 0x80000006}, {32, 0x80000008},   {121, 0x80000005}, {1117, 0x80000004},
                 {87, 0xFFFFFFFF}, {4, 0xFFFFFFFF},    {0xFFFFFFFF, 0xFFFFFFFF}};
    for (const auto& row : table) {
        for (int32_t kind = 0; kind < 3; ++kind)
            EXPECT_EQ(row.code, MapDeviceError(kind, row.error)) << row.error << " kind " << kind;
    }
}

TEST(ModelNameFromReply, StopsAtNulOrAt127)
{
    char reply[128] = {};
    std::memcpy(reply, "TQ-410/P", 8);
    EXPECT_EQ("TQ-410/P", ModelNameFromReply(reply, sizeof reply));
    std::memset(reply, 'A', sizeof reply);
    EXPECT_EQ(std::string(127, 'A'), ModelNameFromReply(reply, sizeof reply));
    reply[0] = '\0';
    EXPECT_EQ("", ModelNameFromReply(reply, sizeof reply));
    EXPECT_EQ("", ModelNameFromReply(reply, 0));
}

TEST(Paths, UnitAndControlSuffixes)
{
    EXPECT_EQ("\\UD00", UnitSuffix(kindZrvport, 0));
    EXPECT_EQ("\\UG07", UnitSuffix(kindZrvemb, 7));
    EXPECT_EQ("\\UG123", UnitSuffix(kindZrvemb, 123));
    EXPECT_EQ("\\0", UnitSuffix(kindZrvpccard, 0));
    EXPECT_EQ("\\12", UnitSuffix(kindZrvpccard, 12));
    EXPECT_STREQ("\\UD\\+ioctl", ControlSuffix(kindZrvport));
    EXPECT_STREQ("\\UG\\+ioctl", ControlSuffix(kindZrvemb));
    EXPECT_STREQ("\\+ioctl", ControlSuffix(kindZrvpccard));
    EXPECT_EQ("##?#ROOT#ZRVEMB#0000#{bcdbf9f1-587d-4dc8-90d6-5c8a17119cd5}",
              InterfaceKeyName("\\\\?\\ROOT#ZRVEMB#0000#{bcdbf9f1-587d-4dc8-90d6-5c8a17119cd5}"));
}

TEST(ModelNameLanguage, UserLanguageAndDiagnosticFiles)
{
    EXPECT_EQ(0x04110000u, ModelNameLanguage(0x0411, true, false));
    EXPECT_EQ(0x04090000u, ModelNameLanguage(0x0411, false, true));
    EXPECT_EQ(0x08040000u, ModelNameLanguage(0x0804, false, true));
    EXPECT_EQ(0x04090000u, ModelNameLanguage(0x0804, true, false));
    EXPECT_EQ(0x04090000u, ModelNameLanguage(0x0409, true, true));
    EXPECT_EQ(0x04090000u, ModelNameLanguage(0x0404, true, true));
}

TEST(ApplyModelName, SubstringRules)
{
    struct Case {
        const char* name;
        bool kl;
        bool pcscB;
    } cases[] = {
        {"TQ-410/P", true, true},   {"TQ-470", true, true},   {"TQ-460", true, false},
        {"TQ-410/S", false, false}, {"unknown", false, false}, {"", false, false},
        {"TQ-410/p", false, false}, {"x4700y", true, true},   {"SERIES 460 DUAL", true, false},
        {"TQ-46", false, false},
    };
    for (const Case& c : cases) {
        PackageChoice choice = {false, false};
        ApplyModelName(choice, c.name);
        EXPECT_EQ(c.kl, choice.kl) << c.name;
        EXPECT_EQ(c.pcscB, choice.pcscB) << c.name;
    }
}

TEST(ApplyModelName, ChoicesOnlyAccumulate)
{
    PackageChoice choice = {false, false};
    ApplyModelName(choice, "TQ-460");
    ApplyModelName(choice, "unknown");
    EXPECT_TRUE(choice.kl);
    EXPECT_FALSE(choice.pcscB);
    ApplyModelName(choice, "TQ-470");
    EXPECT_TRUE(choice.kl);
    EXPECT_TRUE(choice.pcscB);
    ApplyModelName(choice, "TQ-721");
    EXPECT_TRUE(choice.kl);
    EXPECT_TRUE(choice.pcscB);
}
