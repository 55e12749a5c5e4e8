// The environment a started program gets. Pure: no Windows calls.
#ifndef KUVANA_TRUST_ENVIRONMENT_H
#define KUVANA_TRUST_ENVIRONMENT_H

#include <string>
#include <utility>
#include <vector>

// Whether the variable `name` (ignoring case, as Windows does) is one of
// those that make a program load code chosen by whoever set them.
bool IsCodeLoadingVariable(const std::wstring& name);

// An environment block as Windows keeps it (UTF-16, NUL-separated
// "NAME=value" entries ending in an empty one), as an installer gets it: the
// code-loading variables go; TMP and TEMP, in any case, are `tempFolder`; and
// with a `systemPath`, PATH is that one (none at all when it is empty). Each
// set variable stands where the block had it, a missing one where the block's
// order (by name, ignoring case) puts it, and repeats go. The rest stays as
// it is.
std::wstring InstallerEnvironment(const wchar_t* block, const std::wstring& tempFolder,
                                  const std::wstring* systemPath);

// `text` with each %NAME% that `variables` holds (the first of a name,
// ignoring case) replaced by its value; any other stays as written, as
// ExpandEnvironmentStrings leaves it.
using Variables = std::vector<std::pair<std::wstring, std::wstring>>;
std::wstring ExpandVariables(const std::wstring& text, const Variables& variables);

#endif
