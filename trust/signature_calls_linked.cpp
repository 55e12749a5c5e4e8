// The signature check's calls, linked: wintrust and crypt32 are imports of
// the class installer, which the loader maps from the system folder.
#include "trust/signature_calls.h"

const SignatureCalls& TheSignatureCalls()
{
    static const SignatureCalls calls = {WinVerifyTrust, WTHelperProvDataFromStateData,
                                         WTHelperGetProvSignerFromChain, CertGetNameStringW};
    return calls;
}
