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

// The program's manifest text (resource 1, type 24), or empty; its language
// into `language` when given.
std::string ManifestOf(const std::string& program, WORD* language = nullptr);

// A copy of `program` at `copy` whose manifest asks for no elevation, as a
// start that stays unelevated runs it (Windows with UAC off for a standard
// user, or RunAsInvoker): the loader then keeps the token it is given. False
// when the manifest asks for no elevation level or the copy fails.
bool MakeInvokerCopy(const std::string& program, const std::string& copy);

// Under Wine, a Unix symbolic link `link` to `target` (Windows paths), made
// by /bin/ln: Wine lists one to a folder as a link but follows it on open.
// False elsewhere. RemoveUnixLink removes the link alone.
bool MakeUnixLink(const std::string& target, const std::string& link);
bool RemoveUnixLink(const std::string& link);

#endif
