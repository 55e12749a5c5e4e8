// The security descriptor of our working folders and the accounts it trusts.
#ifndef KUVANA_WORKFOLDER_FOLDER_SECURITY_H
#define KUVANA_WORKFOLDER_FOLDER_SECURITY_H

#include <vector>

// The running account as the folder's protection depends on it.
struct FolderAccount {
    std::vector<unsigned char> user;  // its SID
    bool elevated = false;            // a full administrator token
    bool system = false;              // SYSTEM itself
};

// Reads the thread's (else the process's) token.
bool ReadFolderAccount(FolderAccount& account);

// The descriptor a working folder and its subfolders are created with,
// self-relative: a protected DACL granting full control, inherited by what is
// created inside, to SYSTEM, Administrators and, when not elevated, the
// running account, which is then the owner. An elevated account's folder is
// owned by Administrators (SYSTEM's by SYSTEM) and grants the account's own SID
// nothing: that administrator's non-elevated processes share the SID. A
// mandatory label with no-write-up, inherited likewise, keeps lower integrity
// levels from writing: High where the account may set it (elevated or
// SYSTEM), the account's own Medium otherwise.
bool BuildFolderSecurity(const FolderAccount& account, std::vector<unsigned char>& selfRelative);

// BuildFolderSecurity for the running account.
bool BuildWorkFolderSecurity(std::vector<unsigned char>& selfRelative);

// Whether a folder with `owner` (a SID) and a mandatory label of `labelRid`
// (0 for none) can be one of ours for `account`. Elevated or as SYSTEM: owned
// by Administrators or SYSTEM and labelled High or above, since what the same
// administrator's unelevated processes make is owned by the account's own SID
// and labelled Medium. Otherwise: owned by SYSTEM, Administrators or the
// account itself.
bool IsOwnFolder(const FolderAccount& account, const void* owner, unsigned long labelRid);

// The integrity level (the label SID's last RID) that `sacl` (an ACL, or null)
// gives: 0 when it carries no mandatory label.
unsigned long MandatoryLabelRid(const void* sacl);

#endif
