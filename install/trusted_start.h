// Starting a downloaded program only when the maker signed it.
#ifndef KUVANA_INSTALL_TRUSTED_START_H
#define KUVANA_INSTALL_TRUSTED_START_H

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "install/temp_folder.h"
#include "probe/win_handles.h"

// A downloaded program, open for reading with read sharing only from the
// check of its signature until it is closed: nobody can write, replace or
// delete it in between. Trusted when its certificate table ends the file and
// carries nothing beyond its one signature, WinVerifyTrust accepts that
// embedded Authenticode signature (no UI, revocation checked for the whole
// chain) and the signing certificate's subject's common name is
// kMakerPublisher, exactly.
class VerifiedProgram {
public:
    explicit VerifiedProgram(const std::string& path);
    VerifiedProgram(const VerifiedProgram&) = delete;
    VerifiedProgram& operator=(const VerifiedProgram&) = delete;

    bool Trusted() const { return trusted; }

private:
    DeviceHandle file;
    bool trusted;
};

// True when the certificate table of the program open as `file` is the last
// thing in it and carries nothing beyond its one signature (reads the headers
// and the table only).
bool CertificateTableAtEnd(HANDLE file);

// True when the certificate's subject common name is kMakerPublisher: the one
// publisher rule for installers and for the signed list and response files.
bool IsMakersCertificate(PCCERT_CONTEXT certificate);

enum class StartResult { Started, Refused, NotStarted };

// Checks `programPath` and, while still holding it, starts it with
// `commandLine` and its own TMP and TEMP `tempFolder` (see StartProgram). A
// refused file is deleted: it lies in our working folder and must not be
// started by anyone later.
StartResult StartTrustedProgram(const std::string& programPath, const std::string& commandLine,
                                const std::string& tempFolder, ProcessHandles& handles);

#endif
