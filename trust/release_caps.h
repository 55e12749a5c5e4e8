// The size caps of the URL list and of the files a release may name: their
// one definition. tools/release-sign reads these lines as they stand (a name
// and a decimal number each), so keep them that plain.
#ifndef KUVANA_TRUST_RELEASE_CAPS_H
#define KUVANA_TRUST_RELEASE_CAPS_H

constexpr unsigned long kMaxUrlListBytes = 65536;
constexpr unsigned long long kMaxResponseBytes = 65536;
constexpr unsigned long long kMaxInstallerBytes = 1073741824;

#endif
