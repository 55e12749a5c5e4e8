// The environment a started program gets. Pure: no Windows calls.
#ifndef KUVANA_TRUST_ENVIRONMENT_H
#define KUVANA_TRUST_ENVIRONMENT_H

#include <string>

// An environment block as Windows keeps it (UTF-16, NUL-separated
// "NAME=value" entries ending in an empty one) with TMP and TEMP, in any case,
// set to `tempFolder` where they stand, a missing one inserted where the
// block's order (by name, ignoring case) puts it, and the rest kept as they
// are. Repeats of either name go.
std::wstring EnvironmentWithTemp(const wchar_t* block, const std::wstring& tempFolder);

#endif
