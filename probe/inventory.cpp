#include "probe/inventory.h"

#include <memory>
#include <new>
#include <vector>

#include "probe/driver_files.h"
#include "probe/reader_interfaces.h"
#include "probe/reader_rules.h"
#include "probe/readers.h"

uint32_t DeviceInventory::LoadDrivers()
{
    drivers.clear();
    DriverRecord records[3] = {};
    uint16_t count = 3;
    uint32_t status = ProbeDriverFiles(&count, records);
    if (status != 0)
        return status;
    for (uint16_t i = 0; i < count && i < 3; ++i) {
        const DriverRecord& r = records[i];
        if (r.kind >= kindZrvport && r.kind <= kindZrvpccard)
            drivers.insert(std::make_pair(r.kind, r));  // the first record of a kind wins
    }
    return 0;
}

uint32_t DeviceInventory::LoadReaders()
{
    group2.clear();
    group1.clear();
    group4.clear();
    group8.clear();
    ReaderInterfaces interfaces;  // one walk of each interface class serves the whole load
    uint16_t count = 0;
    int status = EnumerateReaders(&count, nullptr, interfaces, nullptr);
    if (status != 0)
        return uint32_t(status);
    // A buffer even for no records: the second call writes into it, never only counts.
    std::unique_ptr<DeviceRecord[]> records(new (std::nothrow) DeviceRecord[count]);
    if (!records)
        return inventoryNoBuffer;
    const uint16_t capacity = count;
    std::vector<std::string> driverVersions;
    status = EnumerateReaders(&count, records.get(), interfaces, &driverVersions);
    if (status != 0)
        return uint32_t(status);
    // Readers may have come and gone between the two calls: the second count rules.
    if (count > capacity)
        count = capacity;
    for (uint16_t i = 0; i < count; ++i) {
        const DeviceRecord& device = records[i];
        std::map<int32_t, DriverRecord>::const_iterator driver = drivers.find(device.kind);
        if (driver == drivers.end())
            continue;
        std::list<ReaderEntry>* group = nullptr;
        switch (ReaderGroup(device.readerId)) {
        case 1: group = &group1; break;
        case 2: group = &group2; break;
        case 4: group = &group4; break;
        case 8: group = &group8; break;
        default: break;
        }
        ReaderEntry entry;
        IdentifyReader(entry, driver->second, device, interfaces);
        if (i < driverVersions.size())
            entry.driverVersionText = driverVersions[i];
        if (group != nullptr)
            group->push_back(entry);
    }
    return 0;
}
