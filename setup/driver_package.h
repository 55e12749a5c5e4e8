// What the setup program reads from the reader driver's INF: the setup class,
// the class's display name, the hardware ids and the driver version.
#ifndef KUVANA_SETUP_DRIVER_PACKAGE_H
#define KUVANA_SETUP_DRIVER_PACKAGE_H

#include <windows.h>

#include <string>
#include <vector>

namespace setup {

struct DriverPackage {
    std::string inf;            // full path
    GUID classGuid = {};
    std::string classGuidText;  // "{...}"
    std::string className;      // [Version] Class
    std::string classTitle;     // [Strings] ClassName, else the class name
    std::string driverVersion;  // DriverVer's version
    std::vector<std::string> hardwareIds;  // of the 64-bit models
};

// False with a message when the INF cannot be read or names no class.
bool ReadDriverPackage(const std::string& inf, DriverPackage* package, std::string* error);

}  // namespace setup

#endif
