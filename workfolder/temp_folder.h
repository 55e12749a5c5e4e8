// The temporary folder the private work folders are made in.
#ifndef KUVANA_WORKFOLDER_TEMP_FOLDER_H
#define KUVANA_WORKFOLDER_TEMP_FOLDER_H

#include <windows.h>

#include <string>

#include "workfolder/folder_security.h"

// GetTempPath2A (GetTempPathA where the system lacks it) into a MAX_PATH
// buffer: the folder with its trailing backslash.
// False when the system gives none that fits; callers then write nowhere
// rather than into the current drive's root.
bool ReadTempFolder(std::string& folder);

// Where an account's work folders are made. An elevated administrator's own
// temporary folder is the user's, and every unelevated process of theirs has
// full control of it, so may rename or move whatever lies in it. The Windows
// folder's Temp lets standard users create there but neither list, delete
// nor rename what others made, so a folder of ours in it, with its protected
// DACL, is out of their reach. SYSTEM's own temporary folder (GetTempPath2)
// is SYSTEM's alone; a standard account's is its own.
enum class WorkRoot { TempFolder, WindowsTemp };
WorkRoot WorkRootFor(const FolderAccount& account);

// The folder WorkRootFor names for the running account, with its trailing
// backslash: false when there is none (the Windows folder's Temp missing, or
// a path that does not fit).
bool ReadWorkRoot(std::string& root);

#endif
