// Registry settings of the install sequence and the status page, and the
// addresses on the maker's download server.
#ifndef KUVANA_INSTALL_SETTINGS_H
#define KUVANA_INSTALL_SETTINGS_H

#include <string>

// The maker's download server: the one place a vendor changes it.
extern const char kDownloadServerHost[];

// Default URL-list addresses (system default language 0x0411 or any other) and
// the default net-installer address, all plain HTTP on kDownloadServerHost.
std::string DefaultUrlListAddress(bool japaneseSystem);
std::string DefaultNetInstallerAddress();

// HKEY_LOCAL_MACHINE\subKey valueName as text; empty when anything fails.
std::string ReadRegistryText(const char* subKey, const char* valueName);
std::string ReadUrlListSetting();
std::string ReadNetInstallerSetting();
std::string ReadBasicSoftwareVersion();

#endif
