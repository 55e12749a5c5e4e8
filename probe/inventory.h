// A snapshot of the reader drivers and attached readers, built for one decision.
#ifndef KUVANA_PROBE_INVENTORY_H
#define KUVANA_PROBE_INVENTORY_H

#include <cstdint>
#include <list>
#include <map>

#include "probe/records.h"

const uint32_t inventoryNoBuffer = 0xE0020000u;

class DeviceInventory {
public:
    DeviceInventory() = default;
    // Entries point into the driver table, so the inventory is never copied.
    DeviceInventory(const DeviceInventory&) = delete;
    DeviceInventory& operator=(const DeviceInventory&) = delete;

    // Fills the driver table from the driver files: 0 or the probe's error.
    uint32_t LoadDrivers();
    // Enumerates and identifies the readers whose driver is in the table:
    // 0, the enumeration's error, or inventoryNoBuffer.
    uint32_t LoadReaders();

    std::map<int32_t, DriverRecord> drivers;
    std::list<ReaderEntry> group2;
    std::list<ReaderEntry> group1;
    std::list<ReaderEntry> group4;
    std::list<ReaderEntry> group8;
};

#endif
