// The security descriptor of our working folders and the accounts it trusts.
#ifndef KUVANA_INSTALL_FOLDER_SECURITY_H
#define KUVANA_INSTALL_FOLDER_SECURITY_H

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

// SYSTEM, Administrators and the running account, in that order: the owners
// a folder of ours can have.
bool TrustedSids(std::vector<unsigned char> (&sids)[3]);

#endif
