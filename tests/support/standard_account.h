// Unelevated runs and Unix links, for what only a clean-up's caller and the
// file system beneath Wine can set up.
#ifndef KUVANA_TESTS_STANDARD_ACCOUNT_H
#define KUVANA_TESTS_STANDARD_ACCOUNT_H

#include <windows.h>

#include <string>

// Which token a test runs with. Wine 8 starts every process elevated, Wine 10
// (like Windows with UAC) with an administrator's split token, so a test that
// depends on it says which one it needs.
enum class Elevation { Standard, Elevated };

// The same account's token with the elevation asked for, for impersonation
// (Primary false) or for CreateProcessAsUser (true); nullptr when this
// process's token has no such twin. The caller closes it.
HANDLE AccountToken(Elevation wanted, bool primary);

// While it lives, the calling thread runs as the same account with the
// elevation asked for (the token the process's own one links to, or its own).
class RunAsAccount {
public:
    explicit RunAsAccount(Elevation wanted);
    ~RunAsAccount();
    RunAsAccount(const RunAsAccount&) = delete;
    RunAsAccount& operator=(const RunAsAccount&) = delete;
    bool Active() const { return active; }

private:
    HANDLE token = nullptr;
    bool active = false;
};

// The account unelevated: a standard start.
class StandardAccount : public RunAsAccount {
public:
    StandardAccount() : RunAsAccount(Elevation::Standard) {}
};

// Under Wine, a Unix symbolic link `link` to `target` (Windows paths), made
// by /bin/ln: Wine lists one to a folder as a link but follows it on open.
// False elsewhere. RemoveUnixLink removes the link alone.
bool MakeUnixLink(const std::string& target, const std::string& link);
bool RemoveUnixLink(const std::string& link);

#endif
