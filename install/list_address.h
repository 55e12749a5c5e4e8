// The addresses a URL list gives, resolved against the list's own address.
#ifndef KUVANA_INSTALL_LIST_ADDRESS_H
#define KUVANA_INSTALL_LIST_ADDRESS_H

#include <string>

// An entry's address as the download uses it. An absolute address (one with
// a scheme) is kept as it is; a relative one (kps/setup.exe, ../kps/setup.exe,
// /Products/...) is resolved against `listUrl` with InternetCombineUrlA, so a
// signed release can be mirrored unchanged. Empty when `value` is empty or
// cannot be resolved: the key then counts as missing.
std::string ResolveListAddress(const std::string& listUrl, const std::string& value);

#endif
