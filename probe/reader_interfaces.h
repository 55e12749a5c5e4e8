// The present interfaces of the two reader interface classes, walked once for
// a whole inventory: both enumeration walks and every unit search read the same
// lists instead of each building its own device information set, which is
// where most of a decision's time went.
#ifndef KUVANA_PROBE_READER_INTERFACES_H
#define KUVANA_PROBE_READER_INTERFACES_H

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/win_handles.h"

enum class WalkStatus { ok, noMoreItems, failed };

class ReaderInterfaces {
public:
    ReaderInterfaces() = default;
    ReaderInterfaces(const ReaderInterfaces&) = delete;
    ReaderInterfaces& operator=(const ReaderInterfaces&) = delete;

    // False when no device information set of kind's class could be created.
    bool ClassPresent(int32_t kind);

    // The DevicePath of member index of kind's class, read when first asked
    // for. noMoreItems or failed: the walk of the class ended there.
    WalkStatus Path(int32_t kind, DWORD index, std::string& path);

    // The DriverVersion text of the driver behind member index (read once):
    // 0, or -1 when the walk to it fails. classText: the path from its last "{".
    int DriverVersion(int32_t kind, DWORD index, const char* classText, std::string& text);

    // A request that ran out of time on a path: asking it again in the same
    // inventory fails at once instead of waiting once more.
    bool Stalled(const std::string& path, DWORD code) const;
    void MarkStalled(const std::string& path, DWORD code);

private:
    struct Interface {
        std::string path;
        bool versionRead = false;
        int versionStatus = -1;
        std::string versionText;
    };
    struct ClassList {
        bool created = false;
        DeviceInfoSet set;
        std::vector<Interface> interfaces;
        WalkStatus end = WalkStatus::ok;  // ok while the walk has not ended
    };
    ClassList& List(int32_t kind);

    ClassList lists_[2];
    std::set<std::pair<std::string, DWORD> > stalled_;
};

#endif
