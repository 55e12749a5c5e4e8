// The private working folder and the maker's signature, with the fake
// installer signed at build time as the maker (fake_installer.exe), as
// another publisher (fake_stranger.exe), as lookalikes of the maker's name
// (fake_lookalike.exe, fake_nulname.exe), changed after signing
// (fake_tampered.exe) and not at all (fake_unsigned.exe).
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/path_text.h"
#include "install/command_lines.h"
#include "net/http_download.h"
#include "sim/fake_installer/fake_record.h"
#include "support/release_files.h"
#include "support/standard_account.h"
#include "support/temp_folder_sandbox.h"
#include "trust/pe_certificates.h"
#include "trust/trusted_start.h"
#include "workfolder/temp_folder.h"
#include "workfolder/work_folder.h"

namespace {

std::vector<BYTE> Sid(WELL_KNOWN_SID_TYPE type)
{
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = SECURITY_MAX_SID_SIZE;
    CreateWellKnownSid(type, nullptr, sid.data(), &size);
    sid.resize(size);
    return sid;
}

FolderAccount RunningAccount()
{
    FolderAccount account;
    EXPECT_TRUE(ReadFolderAccount(account));
    return account;
}

// SYSTEM, Administrators and the running account.
std::vector<std::vector<BYTE>> TrustedSids()
{
    return {Sid(WinLocalSystemSid), Sid(WinBuiltinAdministratorsSid), RunningAccount().user};
}

std::string Copy(const char* program, const std::string& to)
{
    CopyFileA((ProgramFolder() + program).c_str(), to.c_str(), FALSE);
    return to;
}

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// `folder` open as a work folder holds it: no delete sharing.
HANDLE HeldFolder(const std::string& folder)
{
    return CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The descriptor a folder of `account` must have: a protected DACL with
// exactly `granted`, full control, inherited by what is created inside;
// `owner`; a `label` mandatory label with no-write-up, inherited alike.
void ExpectPrivateSecurity(PSECURITY_DESCRIPTOR descriptor, const std::vector<std::vector<BYTE>>& granted,
                           const std::vector<BYTE>& owner, const std::vector<BYTE>& label)
{
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from the shared temporary folder";
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    ASSERT_EQ(dacl->AceCount, granted.size());
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                  OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(ace->Mask, DWORD(FILE_ALL_ACCESS));
        EXPECT_TRUE(EqualSid(&ace->SidStart, const_cast<BYTE*>(granted[i].data()))) << i;
    }
    PSID ownerSid = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &ownerSid, &defaulted));
    EXPECT_TRUE(ownerSid != nullptr && EqualSid(ownerSid, const_cast<BYTE*>(owner.data())));
    PACL sacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted));
    ASSERT_TRUE(present && sacl != nullptr);
    ASSERT_EQ(sacl->AceCount, 1u);
    SYSTEM_MANDATORY_LABEL_ACE* mandatory = nullptr;
    ASSERT_TRUE(GetAce(sacl, 0, reinterpret_cast<void**>(&mandatory)));
    EXPECT_EQ(mandatory->Header.AceType, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
    EXPECT_EQ(mandatory->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(mandatory->Mask, DWORD(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));
    EXPECT_TRUE(EqualSid(&mandatory->SidStart, const_cast<BYTE*>(label.data())));
}

// What BuildFolderSecurity gives `account`, checked as above.
void ExpectFolderSecurityOf(const FolderAccount& account, PSECURITY_DESCRIPTOR descriptor)
{
    const std::vector<BYTE> system = Sid(WinLocalSystemSid), administrators = Sid(WinBuiltinAdministratorsSid);
    const bool privileged = account.elevated || account.system;
    std::vector<std::vector<BYTE>> granted = {system, administrators};
    if (!privileged)
        granted.push_back(account.user);
    ExpectPrivateSecurity(descriptor, granted,
                          account.system ? system : account.elevated ? administrators : account.user,
                          Sid(privileged ? WinHighLabelSid : WinMediumLabelSid));
}

// The folder's security as read back with GetNamedSecurityInfo. Windows keeps
// the descriptor it was created with. Wine 8 here neither enforces file ACLs
// nor keeps them (no extended attributes): it derives a DACL from the Unix
// mode, so under Wine only "no account beyond the trusted ones" is checked.
void ExpectOnlyTrustedAccounts(const std::string& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
                                    nullptr, nullptr, &dacl, nullptr, &descriptor),
              DWORD(ERROR_SUCCESS));
    if (!UnderWine()) {
        ExpectFolderSecurityOf(RunningAccount(), descriptor);
    } else {
        ASSERT_NE(dacl, nullptr);
        const std::vector<std::vector<BYTE>> trusted = TrustedSids();
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
            EXPECT_TRUE(std::any_of(trusted.begin(), trusted.end(), [&](const std::vector<BYTE>& sid) {
                return EqualSid(&ace->SidStart, const_cast<BYTE*>(sid.data())) != FALSE;
            })) << "ACE " << i << " grants an account beyond SYSTEM, Administrators and ours";
        }
    }
    LocalFree(descriptor);
}

class TrustTest : public ::testing::Test {
protected:
    size_t NetFolderCount(const std::string& root) const
    {
        size_t count = 0;
        for (const std::string& name : FoldersIn(root))
            count += IsWorkFolderName(name, kNetInstallerFolderPrefix) ? 1 : 0;
        return count;
    }
    TempFolderSandbox temp;
};

TEST_F(TrustTest, WorkFolderHasAnUnguessableNameAProtectedDaclAndGoesWithItsFiles)
{
    std::string path;
    {
        const WorkFolder first(kSequenceFolderPrefix);
        const WorkFolder second(kSequenceFolderPrefix);
        ASSERT_FALSE(first.Path().empty());
        path = first.Path();
        const std::string root = temp.WorkRoot();
        const std::string name = path.substr(root.size(), path.size() - root.size() - 1);
        EXPECT_EQ(path, root + name + "\\");
        EXPECT_TRUE(IsWorkFolderName(name, kSequenceFolderPrefix)) << name;
        EXPECT_NE(first.Path(), second.Path());

        ExpectOnlyTrustedAccounts(path);
        ASSERT_TRUE(WriteWholeFile(path + "a.txt", "a"));
        // Subfolders are made once, protected alike, and go with the rest
        // however deep an installer filled them.
        const std::string sub = first.MakeSubfolder("kps");
        EXPECT_EQ(sub, path + "kps\\");
        EXPECT_EQ(first.MakeSubfolder("kps"), "");
        EXPECT_EQ(WorkFolder(kSequenceFolderPrefix).MakeSubfolder(std::string(200, 'k')), "");
        ExpectOnlyTrustedAccounts(sub);
        const std::string deep = first.MakeSubfolder("kps-temp") + "x\\y\\";
        ASSERT_TRUE(CreateDirectoryA((path + "kps-temp\\x").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
        ASSERT_TRUE(WriteWholeFile(deep + "r.dll", "r"));
        ASSERT_TRUE(SetFileAttributesA((deep + "r.dll").c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(WriteWholeFile(sub + "b.exe", "b"));
    }
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(temp.Files().empty());

    // Kept (a started net installer runs from it): it stays.
    std::string kept;
    {
        WorkFolder folder(kNetInstallerFolderPrefix);
        kept = folder.Path();
        folder.Keep();
    }
    EXPECT_TRUE(FileExists(kept));
    RemoveDirectoryA(kept.c_str());

    // What the folder is created with, on any system, for the running account
    // and for a standard, an elevated and the SYSTEM account.
    std::vector<BYTE> descriptor;
    ASSERT_TRUE(BuildWorkFolderSecurity(descriptor));
    ExpectFolderSecurityOf(RunningAccount(), descriptor.data());
    const std::vector<BYTE> user = RunningAccount().user;
    const std::vector<BYTE> system = Sid(WinLocalSystemSid);
    const struct {
        const std::vector<BYTE>& user;
        bool elevated, system;
    } accounts[] = {{user, false, false}, {user, true, false}, {system, false, true}, {system, true, true}};
    for (const auto& facts : accounts) {
        SCOPED_TRACE(testing::Message() << "elevated " << facts.elevated << ", SYSTEM " << facts.system);
        FolderAccount account;
        account.user = facts.user;
        account.elevated = facts.elevated;
        account.system = facts.system;
        ASSERT_TRUE(BuildFolderSecurity(account, descriptor));
        ExpectFolderSecurityOf(account, descriptor.data());
    }

    EXPECT_FALSE(IsWorkFolderName("KuvanaSetup-" + std::string(15, 'a'), kSequenceFolderPrefix));
    EXPECT_FALSE(IsWorkFolderName("KuvanaSetup-" + std::string(15, 'a') + "g", kSequenceFolderPrefix));
    EXPECT_FALSE(IsWorkFolderName("KuvanaNet-" + std::string(16, 'a'), kSequenceFolderPrefix));
}

// A path in the working folder is held to MAX_PATH by its real length: a
// 64-character name up to a 259-character path, and a long temporary folder
// still takes the names that fit.
TEST_F(TrustTest, WorkFolderPathsAreCountedExactly)
{
    struct Case {
        size_t tempLength;  // with its trailing backslash
        size_t nameLength;
        bool starts;
    } cases[] = {
        {165, 64, true},   // 165 + 12 + 16 + 2 + 64 = 259
        {166, 64, false},  // 260: refused by the job
        {200, 12, true},
    };
    // The temporary folder is the root of a standard account's work folders.
    StandardAccount standard;
    ASSERT_TRUE(standard.Active());
    for (const Case& c : cases) {
        const std::string folder = temp.Folder() + std::string(c.tempLength - temp.Folder().size() - 1, 'l') + "\\";
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        SetEnvironmentVariableA("TMP", folder.c_str());
        SetEnvironmentVariableA("TEMP", folder.c_str());
        const WorkFolder work(kSequenceFolderPrefix);
        ASSERT_FALSE(work.Path().empty()) << c.tempLength;
        const std::string path = DownloadPath(work.Path(), std::string(c.nameLength - 4, 'n') + ".exe");
        HttpDownload job;
        job.SetLocalFileRules(true, 0);
        EXPECT_EQ(job.Start("http://127.0.0.1:9/setup.exe", path.c_str()), c.starts) << path.size();
        EXPECT_EQ(job.GetResult(), c.starts ? 0 : 104000) << path.size();
        job.Stop(false);
    }
}

// Whose folder a stale one may be: elevated or as SYSTEM, only one the same
// administrator's unelevated processes cannot make, as our own folders are.
TEST(OwnFolder, ElevatedTakesOnlyAdministratorsOrSystemWithAHighLabel)
{
    const std::vector<BYTE> user = RunningAccount().user, system = Sid(WinLocalSystemSid),
                            administrators = Sid(WinBuiltinAdministratorsSid), users = Sid(WinBuiltinUsersSid);
    const unsigned long medium = SECURITY_MANDATORY_MEDIUM_RID, high = SECURITY_MANDATORY_HIGH_RID;
    enum Kind { Standard, Elevated, System };
    struct Case {
        Kind kind;
        const std::vector<BYTE>& owner;
        unsigned long label;
        bool ours;
    } cases[] = {
        {Standard, user, medium, true},     {Standard, administrators, 0, true}, {Standard, users, high, false},
        {Elevated, user, high, false},      {Elevated, administrators, high, true},
        {Elevated, system, SECURITY_MANDATORY_SYSTEM_RID, true},
        {Elevated, administrators, medium, false}, {Elevated, administrators, 0, false},
        {System, system, high, true},       {System, system, 0, false},
    };
    for (const Case& c : cases) {
        FolderAccount account;
        account.user = c.kind == System ? system : user;
        account.elevated = c.kind == Elevated;
        account.system = c.kind == System;
        EXPECT_EQ(IsOwnFolder(account, c.owner.data(), c.label), c.ours) << c.kind << " " << c.label;
    }
    // What our own folders are created with passes, label read back included.
    for (Kind kind : {Standard, Elevated, System}) {
        FolderAccount account;
        account.user = kind == System ? system : user;
        account.elevated = kind == Elevated;
        account.system = kind == System;
        std::vector<BYTE> descriptor;
        ASSERT_TRUE(BuildFolderSecurity(account, descriptor));
        PSID owner = nullptr;
        PACL sacl = nullptr;
        BOOL defaulted = FALSE, present = FALSE;
        ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted));
        ASSERT_TRUE(GetSecurityDescriptorSacl(descriptor.data(), &present, &sacl, &defaulted));
        EXPECT_EQ(MandatoryLabelRid(sacl), kind == Standard ? medium : high) << kind;
        EXPECT_TRUE(IsOwnFolder(account, owner, MandatoryLabelRid(sacl))) << kind;
    }
    EXPECT_EQ(MandatoryLabelRid(nullptr), 0u);
}

// A link planted in a stale folder, or in a working folder, is never
// followed: what it points at stays. Wine shows only a Unix link to a
// folder (listed as a link, followed on open); Windows' junctions and
// symbolic links, and links to files, only Windows can show.
TEST_F(TrustTest, CleanUpsFollowNoLink)
{
    if (!UnderWine())
        GTEST_SKIP() << "the links are Unix links";
    const std::string victim = temp.Base() + "victim\\";
    ASSERT_TRUE(CreateDirectoryA(victim.c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(victim + kNetInstallerFileName, "keep"));
    ASSERT_TRUE(WriteWholeFile(victim + "data.txt", "keep"));
    // One stale folder whose program folder is a link, one whose temporary
    // folder is, one with a link inside its temporary folder.
    const std::string net = std::string(kNetInstallerSubfolder), netTemp = TempSubfolderName(net);
    std::vector<std::string> links;
    const struct {
        char digit;
        std::string link;
    } stale[] = {{'b', net}, {'c', netTemp}, {'d', netTemp + "\\inner"}};
    for (const auto& s : stale) {
        const std::string folder = temp.Folder() + kNetInstallerFolderPrefix + std::string(16, s.digit) + "\\";
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        if (s.digit == 'd')
            ASSERT_TRUE(CreateDirectoryA((folder + netTemp).c_str(), nullptr));
        ASSERT_TRUE(MakeUnixLink(victim, folder + s.link));
        links.push_back(folder + s.link);
    }
    {
        WorkFolder work(kSequenceFolderPrefix);
        const std::string inner = work.MakeSubfolder("kps-temp") + "inner";
        ASSERT_TRUE(MakeUnixLink(victim, inner));
        links.push_back(inner);
    }
    // Elevated, a folder the account owns (as Wine shows every file) is not
    // ours at all, in the elevated root too; as a standard account it is.
    const std::string elevatedStale = temp.WindowsTemp() + kNetInstallerFolderPrefix + std::string(16, 'e') + "\\";
    ASSERT_TRUE(CreateDirectoryA(elevatedStale.c_str(), nullptr));
    ASSERT_TRUE(MakeUnixLink(victim, elevatedStale + net));
    links.push_back(elevatedStale + net);
    {
        RunAsAccount elevated(Elevation::Elevated);
        ASSERT_TRUE(elevated.Active());
        RemoveStaleWorkFolders(kNetInstallerFolderPrefix, kNetInstallerSubfolder, kNetInstallerFileName, 0);
    }
    EXPECT_EQ(NetFolderCount(temp.WindowsTemp()), 1u);
    EXPECT_EQ(NetFolderCount(temp.Folder()), 3u);
    {
        StandardAccount standard;
        ASSERT_TRUE(standard.Active());
        RemoveStaleWorkFolders(kNetInstallerFolderPrefix, kNetInstallerSubfolder, kNetInstallerFileName, 0);
    }
    EXPECT_EQ(ReadWholeFile(victim + kNetInstallerFileName), "keep");
    EXPECT_EQ(ReadWholeFile(victim + "data.txt"), "keep");
    for (const std::string& link : links)
        RemoveUnixLink(link);
}

// Both sources fill the whole buffer with fresh bytes: the RNG algorithm
// handle is what Windows 6.0 before SP2 falls back to.
TEST(RandomBytes, SystemPreferredAndAlgorithmHandleBothFillTheBuffer)
{
    for (bool preferred : {true, false}) {
        unsigned char a[16] = {}, b[16] = {};
        ASSERT_TRUE(RandomBytes(a, sizeof a, preferred)) << preferred;
        ASSERT_TRUE(RandomBytes(b, sizeof b, preferred)) << preferred;
        EXPECT_NE(0, std::memcmp(a, b, sizeof a)) << preferred;
        EXPECT_NE(std::string(16, '\0'), std::string(reinterpret_cast<char*>(a), sizeof a)) << preferred;
    }
}

TEST_F(TrustTest, DownloadsCreateOnlyNewFiles)
{
    // A file already there (planted, or a link) is never opened for writing.
    ASSERT_TRUE(WriteWholeFile(temp.Path("setup.exe"), "theirs"));
    HttpDownload job;
    job.SetLocalFileRules(true, 0);
    EXPECT_FALSE(job.Start("http://127.0.0.1:9/setup.exe", temp.Path("setup.exe").c_str()));
    EXPECT_EQ(job.GetResult(), 106000 + 500);
    EXPECT_EQ(ReadWholeFile(temp.Path("setup.exe")), "theirs");
    job.Stop(false);
    EXPECT_TRUE(job.Start("http://127.0.0.1:9/setup.exe", temp.Path("new.exe").c_str()));
}

TEST_F(TrustTest, OnlyTheMakersIntactSignatureIsTrusted)
{
    EXPECT_TRUE(VerifiedProgram(Copy("fake_installer.exe", temp.Path("maker.exe"))).Trusted());
    // Unsigned, one byte changed after signing, signed by another publisher
    // under the same trusted CA (under Wine the publisher's name is what
    // refuses a stranger, as Wine does not check the root), and names that
    // read as the maker's once mapped to ANSI or cut at a NUL.
    for (const char* other :
         {"fake_unsigned.exe", "fake_tampered.exe", "fake_stranger.exe", "fake_lookalike.exe", "fake_nulname.exe"})
        EXPECT_FALSE(VerifiedProgram(Copy(other, temp.Path("other.exe"))).Trusted()) << other;
    // The packages' copies are the maker's too, each with bytes of its own.
    std::set<std::string> copies;
    for (const char* copy : {"fake_kps.exe", "fake_kl.exe", "fake_pcsc_b.exe"}) {
        EXPECT_TRUE(VerifiedProgram(Copy(copy, temp.Path(copy))).Trusted()) << copy;
        copies.insert(ReadWholeFile(ProgramFolder() + copy));
    }
    EXPECT_EQ(copies.size(), 3u);
    // Bytes riding along inside the certificate table (its size and the
    // entry's length grown over them, which Windows ignores without its
    // padding check) or after it.
    const std::string signedBytes = ReadWholeFile(ProgramFolder() + "fake_installer.exe");
    CertificateTable table;
    ASSERT_TRUE(FindCertificateTable(reinterpret_cast<const unsigned char*>(signedBytes.data()), signedBytes.size(),
                                     table));
    ASSERT_EQ(table.offset + table.size, signedBytes.size());
    std::string inside = signedBytes + std::string(64, 'x');
    const std::string::size_type directory = signedBytes.find(std::string(reinterpret_cast<const char*>(&table), 8));
    ASSERT_NE(directory, std::string::npos);
    const std::uint32_t grown[] = {table.offset, table.size + 64};
    inside.replace(directory, 8, reinterpret_cast<const char*>(grown), 8);
    std::uint32_t entry = 0;
    inside.copy(reinterpret_cast<char*>(&entry), 4, table.offset);
    entry += 64;
    inside.replace(table.offset, 4, reinterpret_cast<const char*>(&entry), 4);
    for (const std::string& carrier : {inside, signedBytes + std::string(8, '\0')}) {
        ASSERT_TRUE(WriteWholeFile(temp.Path("carrier.exe"), carrier));
        EXPECT_FALSE(VerifiedProgram(temp.Path("carrier.exe")).Trusted()) << carrier.size();
    }
    ASSERT_TRUE(WriteWholeFile(temp.Path("text.exe"), "MZ no program"));
    EXPECT_FALSE(VerifiedProgram(temp.Path("text.exe")).Trusted());
    EXPECT_FALSE(VerifiedProgram(temp.Path("missing.exe")).Trusted());
}

TEST_F(TrustTest, TheCheckedFileCannotBeChangedReplacedOrDeletedUntilReleased)
{
    const std::string path = Copy("fake_installer.exe", temp.Path("setup.exe"));
    {
        const VerifiedProgram held(path);
        ASSERT_TRUE(held.Trusted());
        HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
        EXPECT_FALSE(DeleteFileA(path.c_str()));
        EXPECT_FALSE(MoveFileExA(path.c_str(), temp.Path("moved.exe").c_str(), 0));
        EXPECT_FALSE(MoveFileExA(temp.Path("moved.exe").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
        // Reading, as the system does to start it, still works.
        EXPECT_EQ(ReadWholeFile(path).size(), ReadWholeFile(ProgramFolder() + "fake_installer.exe").size());
    }
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    CloseHandle(writer);
}

TEST_F(TrustTest, StartsTheTrustedProgramAndDeletesARefusedOne)
{
    const std::string record = temp.Base() + "runs.txt";
    SetEnvironmentVariableA("KUVANA_FAKE_RECORD", record.c_str());
    const DeviceHandle folder(HeldFolder(temp.Folder()));
    const HANDLE held = folder.Get();
    ProcessHandles started;
    const std::string good = Copy("fake_installer.exe", temp.Path("good.exe"));
    // The checked file is what starts, whatever the command line names.
    const std::string other = Copy("fake_stranger.exe", temp.Path("other.exe"));
    const ReleaseFile goodFile = ReleaseFileOf(ReadWholeFile(good));
    ASSERT_EQ(StartTrustedProgram(good, "\"" + other + "\"", temp.Base(), started, &goodFile, held), StartResult::Started);
    WaitForSingleObject(started.Process(), 30000);
    ASSERT_EQ(ReadFakeRuns(record).size(), 1u);
    EXPECT_EQ(_stricmp(ReadFakeRuns(record)[0].program.c_str(), good.c_str()), 0);

    ProcessHandles refused;
    const std::string bad = Copy("fake_stranger.exe", temp.Path("bad.exe"));
    const ReleaseFile badFile = ReleaseFileOf(ReadWholeFile(bad));
    EXPECT_EQ(StartTrustedProgram(bad, "\"" + bad + "\"", temp.Base(), refused, &badFile, held), StartResult::Refused);
    EXPECT_FALSE(FileExists(bad));
    EXPECT_EQ(refused.Process(), nullptr);
    EXPECT_EQ(StartTrustedProgram(temp.Path("missing.exe"), "\"x\"", temp.Base(), refused, &goodFile, held),
              StartResult::NotStarted);
    // The maker's own program, but not the one the release names: refused too.
    const std::string swapped = Copy("fake_installer.exe", temp.Path("swapped.exe"));
    EXPECT_EQ(StartTrustedProgram(swapped, "\"" + swapped + "\"", temp.Base(), refused, &badFile, held),
              StartResult::Refused);
    // The right program, but not inside the held folder (where a link or a
    // renamed folder would lead): not started, and left alone.
    const std::string outside = Copy("fake_installer.exe", temp.Base() + "outside.exe");
    EXPECT_EQ(StartTrustedProgram(outside, "\"" + outside + "\"", temp.Base(), refused, &goodFile, held),
              StartResult::NotStarted);
    EXPECT_TRUE(FileExists(outside));
    EXPECT_EQ(StartTrustedProgram(good, "\"" + good + "\"", temp.Base(), refused, &goodFile, nullptr),
              StartResult::NotStarted);
    Sleep(300);
    EXPECT_EQ(ReadFakeRuns(record).size(), 1u);
    SetEnvironmentVariableA("KUVANA_FAKE_RECORD", nullptr);
}

// An installer gets none of the caller's variables that load code chosen by
// whoever set them, in any case, and the system's PATH rather than the
// caller's; an ordinary variable passes.
TEST_F(TrustTest, InstallersGetNoCodeLoadingVariableAndTheSystemsPath)
{
    const char* const loading[] = {"COR_ENABLE_PROFILING", "COR_PROFILER",          "COR_PROFILER_PATH_64",
                                   "CORECLR_PROFILER",     "DOTNET_STARTUP_HOOKS", "COMPlus_ETWEnabled",
                                   "complus_lower",        "__COMPAT_LAYER"};
    for (const char* name : loading)
        SetEnvironmentVariableA(name, "C:\\planted\\x.dll");
    SetEnvironmentVariableA("KUVANA_ORDINARY", "kept");
    char path[32768] = {};
    GetEnvironmentVariableA("PATH", path, sizeof path);
    SetEnvironmentVariableA("PATH", (std::string("C:\\planted;") + path).c_str());
    const std::string record = temp.Base() + "runs.txt";
    SetEnvironmentVariableA("KUVANA_FAKE_RECORD", record.c_str());

    const DeviceHandle folder(HeldFolder(temp.Folder()));
    const std::string program = Copy("fake_installer.exe", temp.Path("setup.exe"));
    const ReleaseFile file = ReleaseFileOf(ReadWholeFile(program));
    ProcessHandles started;
    const StartResult result =
        StartTrustedProgram(program, "\"" + program + "\"", temp.Base(), started, &file, folder.Get());
    if (result == StartResult::Started)
        WaitForSingleObject(started.Process(), 30000);
    SetEnvironmentVariableA("PATH", path);
    SetEnvironmentVariableA("KUVANA_FAKE_RECORD", nullptr);
    SetEnvironmentVariableA("KUVANA_ORDINARY", nullptr);
    for (const char* name : loading)
        SetEnvironmentVariableA(name, nullptr);
    ASSERT_EQ(result, StartResult::Started);
    const std::vector<FakeRun> runs = ReadFakeRuns(record);
    ASSERT_EQ(runs.size(), 1u);
    const auto upper = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), [](char c) { return char(std::toupper(c)); });
        return text;
    };
    const std::string names = upper(runs[0].names), systemPath = upper(runs[0].path);
    for (const char* name : loading)
        EXPECT_EQ(names.find("|" + upper(name) + "|"), std::string::npos) << name;
    EXPECT_NE(names.find("|KUVANA_ORDINARY|"), std::string::npos) << names;
    EXPECT_EQ(systemPath.find("PLANTED"), std::string::npos) << runs[0].path;
    EXPECT_NE(systemPath.find(":\\WINDOWS\\SYSTEM32"), std::string::npos) << runs[0].path;
}

// An elevated administrator's work folders lie in the Windows folder's Temp,
// out of the user's own temporary folder; SYSTEM's and a standard account's
// stay in their own. The folder is held from its creation: while it is ours
// it cannot be renamed, which Wine's share modes on folders show too.
TEST(WorkRoot, AnElevatedAdministratorsIsTheWindowsFoldersTempAndItsFolderCannotBeRenamed)
{
    const struct {
        bool elevated, system;
        WorkRoot root;
    } cases[] = {{false, false, WorkRoot::TempFolder},
                 {true, false, WorkRoot::WindowsTemp},
                 {false, true, WorkRoot::TempFolder},
                 {true, true, WorkRoot::TempFolder}};
    for (const auto& c : cases) {
        FolderAccount account = RunningAccount();
        account.elevated = c.elevated;
        account.system = c.system;
        EXPECT_EQ(WorkRootFor(account), c.root) << c.elevated << c.system;
    }

    // As Wine runs every process: elevated, not SYSTEM.
    const FolderAccount account = RunningAccount();
    if (!account.elevated || account.system)
        GTEST_SKIP() << "needs an elevated administrator";
    char windows[MAX_PATH] = {}, userTemp[MAX_PATH] = {};
    ASSERT_GT(GetSystemWindowsDirectoryA(windows, MAX_PATH), 0u);
    ASSERT_GT(GetTempPathA(MAX_PATH, userTemp), 0u);
    const std::string root = std::string(windows) + "\\Temp\\";
    std::string path;
    {
        WorkFolder work(kNetInstallerFolderPrefix);
        path = work.Path();
        ASSERT_FALSE(path.empty());
        EXPECT_EQ(_strnicmp(path.c_str(), root.c_str(), root.size()), 0) << path;
        EXPECT_NE(_strnicmp(path.c_str(), userTemp, strlen(userTemp)), 0) << path << " " << userTemp;
        const std::string folder = path.substr(0, path.size() - 1);
        EXPECT_FALSE(MoveFileExA(folder.c_str(), (folder + "x").c_str(), 0));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
        EXPECT_FALSE(FileExists(folder + "x"));
        // Let go of (Keep), it can: the hold was what refused.
        work.Keep();
        ASSERT_TRUE(MoveFileExA(folder.c_str(), (folder + "x").c_str(), 0));
        EXPECT_TRUE(RemoveDirectoryA((folder + "x").c_str()));
    }
    EXPECT_FALSE(FileExists(path));
}

}  // namespace
