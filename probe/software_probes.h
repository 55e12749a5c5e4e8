// Registry probes of the installed reader software.
#ifndef KUVANA_PROBE_SOFTWARE_PROBES_H
#define KUVANA_PROBE_SOFTWARE_PROBES_H

#include <windows.h>

// True when the reader software's Uninstall "DisplayVersion" is a REG_SZ with a
// non-zero reported size. The buffer is always treated as 32 bytes long.
bool ReadDisplayVersion(char* buffer, DWORD size);

// True when "Kind" is a 4-byte REG_DWORD with bit 0 or bit 2 set.
bool ReadSoftwareKind();

#endif
