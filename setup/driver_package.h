// What the setup program reads from the reader driver's INF: the hardware ids
// and the driver version. The setup class is compiled in (reader_class.h,
// from the package's source); an INF of another class is refused.
#ifndef KUVANA_SETUP_DRIVER_PACKAGE_H
#define KUVANA_SETUP_DRIVER_PACKAGE_H

#include <string>
#include <vector>

namespace setup {

struct DriverPackage {
    std::wstring inf;                       // full path
    std::wstring driverVersion;             // DriverVer's version
    std::vector<std::wstring> hardwareIds;  // of the 64-bit models
};

// False with a message when the INF cannot be read, its path is too long for
// the driver functions, it names another setup class than the readers' or it
// names no hardware id for 64-bit Windows.
bool ReadDriverPackage(const std::wstring& inf, DriverPackage* package, std::string* error);

}  // namespace setup

#endif
