// Unelevated runs and Unix links, for what only a clean-up's caller and the
// file system beneath Wine can set up.
#ifndef KUVANA_TESTS_STANDARD_ACCOUNT_H
#define KUVANA_TESTS_STANDARD_ACCOUNT_H

#include <windows.h>

#include <string>

// While it lives, the calling thread runs as the same account unelevated:
// the limited token the elevated one links to (Wine and Windows with UAC).
class StandardAccount {
public:
    StandardAccount();
    ~StandardAccount();
    StandardAccount(const StandardAccount&) = delete;
    StandardAccount& operator=(const StandardAccount&) = delete;
    bool Active() const { return active; }

private:
    HANDLE linked = nullptr;
    bool active = false;
};

// Under Wine, a Unix symbolic link `link` to `target` (Windows paths), made
// by /bin/ln: Wine lists one to a folder as a link but follows it on open.
// False elsewhere. RemoveUnixLink removes the link alone.
bool MakeUnixLink(const std::string& target, const std::string& link);
bool RemoveUnixLink(const std::string& link);

#endif
