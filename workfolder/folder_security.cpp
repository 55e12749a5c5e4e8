// The working folders' owner, DACL and integrity label.
#include "workfolder/folder_security.h"

#include <windows.h>

#include "common/win_handles.h"

namespace {

bool WellKnownSid(WELL_KNOWN_SID_TYPE type, std::vector<BYTE>& sid)
{
    DWORD size = SECURITY_MAX_SID_SIZE;
    sid.resize(size);
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size))
        return false;
    sid.resize(size);
    return true;
}

HANDLE OpenToken()
{
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    return token;
}

bool ReadUserSid(HANDLE token, std::vector<BYTE>& sid)
{
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
        return false;
    PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    sid.assign(static_cast<BYTE*>(user), static_cast<BYTE*>(user) + GetLengthSid(user));
    return true;
}

DWORD AceSize(const std::vector<BYTE>& sid)
{
    return DWORD(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + sid.size());
}

}  // namespace

bool ReadFolderAccount(FolderAccount& account)
{
    HANDLE token = OpenToken();
    if (token == nullptr)
        return false;
    DeviceHandle owned(token);
    if (!ReadUserSid(token, account.user))
        return false;
    // Systems without elevation (before 6.0) answer nothing: not elevated.
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    account.elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                       elevation.TokenIsElevated != 0;
    std::vector<BYTE> system;
    account.system = WellKnownSid(WinLocalSystemSid, system) && EqualSid(account.user.data(), system.data());
    return true;
}

bool BuildFolderSecurity(const FolderAccount& account, std::vector<BYTE>& selfRelative)
{
    std::vector<BYTE> system, administrators, label;
    const bool privileged = account.elevated || account.system;
    if (account.user.empty() || !WellKnownSid(WinLocalSystemSid, system) ||
        !WellKnownSid(WinBuiltinAdministratorsSid, administrators) ||
        !WellKnownSid(privileged ? WinHighLabelSid : WinMediumLabelSid, label))
        return false;
    std::vector<const std::vector<BYTE>*> granted = {&system, &administrators};
    if (!privileged)
        granted.push_back(&account.user);
    const std::vector<BYTE>& owner = account.system ? system : account.elevated ? administrators : account.user;

    DWORD daclSize = sizeof(ACL);
    for (const std::vector<BYTE>* sid : granted)
        daclSize += AceSize(*sid);
    std::vector<BYTE> daclBuffer(daclSize);
    PACL dacl = reinterpret_cast<PACL>(daclBuffer.data());
    if (!InitializeAcl(dacl, daclSize, ACL_REVISION))
        return false;
    for (const std::vector<BYTE>* sid : granted)
        if (!AddAccessAllowedAceEx(dacl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS,
                                   const_cast<BYTE*>(sid->data())))
            return false;
    const DWORD saclSize = DWORD(sizeof(ACL) + sizeof(SYSTEM_MANDATORY_LABEL_ACE) - sizeof(DWORD) + label.size());
    std::vector<BYTE> saclBuffer(saclSize);
    PACL sacl = reinterpret_cast<PACL>(saclBuffer.data());
    if (!InitializeAcl(sacl, saclSize, ACL_REVISION) ||
        !AddMandatoryAce(sacl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                         SYSTEM_MANDATORY_LABEL_NO_WRITE_UP, label.data()))
        return false;

    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE) ||
        !SetSecurityDescriptorSacl(&descriptor, TRUE, sacl, FALSE) ||
        !SetSecurityDescriptorOwner(&descriptor, const_cast<BYTE*>(owner.data()), FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return false;
    DWORD size = 0;
    MakeSelfRelativeSD(&descriptor, nullptr, &size);
    selfRelative.assign(size, 0);
    return size != 0 && MakeSelfRelativeSD(&descriptor, selfRelative.data(), &size) != FALSE;
}

bool BuildWorkFolderSecurity(std::vector<BYTE>& selfRelative)
{
    FolderAccount account;
    return ReadFolderAccount(account) && BuildFolderSecurity(account, selfRelative);
}

bool IsOwnFolder(const FolderAccount& account, const void* owner, unsigned long labelRid)
{
    std::vector<BYTE> system, administrators;
    if (owner == nullptr || !IsValidSid(const_cast<void*>(owner)) || !WellKnownSid(WinLocalSystemSid, system) ||
        !WellKnownSid(WinBuiltinAdministratorsSid, administrators))
        return false;
    PSID sid = const_cast<void*>(owner);
    const bool trusted = EqualSid(sid, system.data()) || EqualSid(sid, administrators.data());
    if (account.elevated || account.system)
        return trusted && labelRid >= SECURITY_MANDATORY_HIGH_RID;
    return trusted || (!account.user.empty() && EqualSid(sid, const_cast<BYTE*>(account.user.data())));
}

unsigned long MandatoryLabelRid(const void* sacl)
{
    PACL list = static_cast<PACL>(const_cast<void*>(sacl));
    if (list == nullptr)
        return 0;
    for (DWORD i = 0; i < list->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!GetAce(list, i, reinterpret_cast<void**>(&ace)) || ace->AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE)
            continue;
        PSID label = &reinterpret_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace)->SidStart;
        if (!IsValidSid(label) || *GetSidSubAuthorityCount(label) == 0)
            return 0;
        return *GetSidSubAuthority(label, *GetSidSubAuthorityCount(label) - 1);
    }
    return 0;
}
