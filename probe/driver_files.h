// Which reader drivers are installed, from their files' version resources.
#ifndef KUVANA_PROBE_DRIVER_FILES_H
#define KUVANA_PROBE_DRIVER_FILES_H

#include <cstdint>

#include "probe/records.h"

// count: capacity on entry (at least 3), records written on return.
// Returns 0, 0x80000003 for a bad holder or capacity, 0xFFFFFFFF when the
// system is not one the drivers exist for or the drivers folder cannot be named.
uint32_t ProbeDriverFiles(uint16_t* count, DriverRecord* records);

#endif
