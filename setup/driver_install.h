// The declarative driver package into the driver store and onto the readers
// present.
#ifndef KUVANA_SETUP_DRIVER_INSTALL_H
#define KUVANA_SETUP_DRIVER_INSTALL_H

#include <string>
#include <vector>

#include "setup/driver_package.h"

namespace setup {

enum class DriverResult { Updated, NoReader, NewerKept, Failed };
// Adds the package to the driver store and installs it on every present
// device with one of its hardware ids. `lines` gets one line per id.
DriverResult InstallDriver(const DriverPackage& package, bool* restart, std::vector<std::string>* lines);

}  // namespace setup

#endif
