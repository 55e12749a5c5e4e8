// The setup program's two commands, once the package's INF is read.
#ifndef KUVANA_SETUP_COMMANDS_H
#define KUVANA_SETUP_COMMANDS_H

#include <string>

#include "setup/driver_package.h"

namespace setup {

// `folder`: the program's own, where the versioned class installer lies.
int Install(const DriverPackage& package, const std::wstring& folder);
int Remove();

}  // namespace setup

#endif
