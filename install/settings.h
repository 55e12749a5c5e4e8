// Registry settings of the install sequence and the status page, and the
// addresses on the maker's download server.
#ifndef KUVANA_INSTALL_SETTINGS_H
#define KUVANA_INSTALL_SETTINGS_H

#include <string>

// The maker's download server: the one place a vendor changes it.
extern const char kDownloadServerHost[];

// HKEY_LOCAL_MACHINE key of the net installer's settings, and its two values.
extern const char kNetInstallerKey[];
extern const char kUrlListValue[];
extern const char kNetInstallerValue[];
// Key of the older basic reader software (code page 932 bytes) and its value.
extern const char kBasicSoftwareKey[];
extern const char kBasicSoftwareVersionValue[];

// Default URL-list addresses (system default language 0x0411 or any other) and
// the default net-installer address, all plain HTTP on kDownloadServerHost.
std::string DefaultUrlListAddress(bool japaneseSystem);
std::string DefaultNetInstallerAddress();

// Size of the buffer a registry text is read into; a longer value counts as unset.
constexpr unsigned long kRegistryTextBufferSize = 1024;

// HKEY_LOCAL_MACHINE\subKey valueName as text; empty when anything fails.
std::string ReadRegistryText(const char* subKey, const char* valueName);
std::string ReadUrlListSetting();
std::string ReadNetInstallerSetting();
std::string ReadBasicSoftwareVersion();

#endif
