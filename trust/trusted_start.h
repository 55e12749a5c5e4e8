// Starting a downloaded program only when the maker signed it.
#ifndef KUVANA_TRUST_TRUSTED_START_H
#define KUVANA_TRUST_TRUSTED_START_H

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "common/win_handles.h"
#include "trust/maker_signature.h"
#include "trust/program_start.h"
#include "trust/release.h"

// A downloaded program, open for reading with read sharing only from the
// check of its signature until it is closed: nobody can write, replace or
// delete it in between. Trusted when its certificate table ends the file and
// carries nothing beyond its one signature, WinVerifyTrust accepts that
// embedded Authenticode signature (no UI, revocation checked for the whole
// chain) and the signing certificate's subject's common name is
// kMakerPublisher, exactly; and, when `expected` is given, its size and
// SHA-256 are exactly those the accepted release names for it, so no other
// program the maker ever signed passes in its place. The hash is taken
// through the held file beside the signature check, on a thread of its own.
// With a `folder` (a held folder's handle), the file must also lie inside it
// (LiesInside).
class VerifiedProgram {
public:
    explicit VerifiedProgram(const std::string& path, const ReleaseFile* expected = nullptr,
                             HANDLE folder = nullptr);
    VerifiedProgram(const VerifiedProgram&) = delete;
    VerifiedProgram& operator=(const VerifiedProgram&) = delete;

    bool Trusted() const { return trusted; }

private:
    DeviceHandle file;
    bool trusted;
};

enum class StartResult { Started, Refused, NotStarted };

// Checks `programPath` as VerifiedProgram does (bound to `expected`, inside
// the held `workFolder`) and, while still holding it, starts it with
// `commandLine` and its own TMP and TEMP `tempFolder` (see StartProgram). A
// refused file is deleted: it lies in our working folder and must not be
// started by anyone later. One the path did not lead to inside the folder is
// not started and not touched: deleting it would reach whatever lies there.
StartResult StartTrustedProgram(const std::string& programPath, const std::string& commandLine,
                                const std::string& tempFolder, ProcessHandles& handles,
                                const ReleaseFile* expected, HANDLE workFolder);

#endif
