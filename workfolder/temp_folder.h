// The temporary folder the private work folders are made in.
#ifndef KUVANA_WORKFOLDER_TEMP_FOLDER_H
#define KUVANA_WORKFOLDER_TEMP_FOLDER_H

#include <windows.h>

#include <string>

// GetTempPath2A (GetTempPathA where the system lacks it) into a MAX_PATH
// buffer: the folder with its trailing backslash.
// False when the system gives none that fits; callers then write nowhere
// rather than into the current drive's root.
bool ReadTempFolder(std::string& folder);

#endif
