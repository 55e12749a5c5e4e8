// Whether the maker signed a file: the one check for the installers we start
// and for the class installer the setup program copies into the system folder.
#ifndef KUVANA_TRUST_MAKER_SIGNATURE_H
#define KUVANA_TRUST_MAKER_SIGNATURE_H

#include <windows.h>
#include <wincrypt.h>

#include <string>

// True when the program open as `file` (at `path`, for WinVerifyTrust's
// messages; it reads through the handle) carries the maker's signature: its
// certificate table ends the file and holds nothing beyond its one
// signature, WinVerifyTrust accepts that embedded Authenticode signature (no
// UI, revocation checked for the whole chain) and the signer's subject common
// name is kMakerPublisher, exactly. The caller holds `file` with read sharing
// only, so what is checked is what it then uses.
bool SignedByMaker(HANDLE file, const std::wstring& path);

// True when the certificate table of the program open as `file` is the last
// thing in it and carries nothing beyond its one signature (reads the headers
// and the table only).
bool CertificateTableAtEnd(HANDLE file);

// True when the certificate's subject common name is kMakerPublisher: the one
// publisher rule for installers and for the signed list and response files.
bool IsMakersCertificate(PCCERT_CONTEXT certificate);

#endif
