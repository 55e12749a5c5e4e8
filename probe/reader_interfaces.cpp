#include "probe/reader_interfaces.h"

#include <setupapi.h>

#include <cstddef>
#include <cstring>

#include "probe/readers.h"

namespace {

// The DevicePath of member index of a device information set.
WalkStatus ReadDevicePath(HDEVINFO set, const GUID& interfaceClass, DWORD index, std::string& path)
{
    SP_DEVICE_INTERFACE_DATA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;  // 32
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index, &data))
        return GetLastError() == ERROR_NO_MORE_ITEMS ? WalkStatus::noMoreItems : WalkStatus::failed;
    DWORD required = 0;
    if (!SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return WalkStatus::failed;
    std::vector<char> buffer;
    try {
        buffer.assign(size_t(required) + 1024, 0);
    } catch (...) {
        return WalkStatus::failed;
    }
    SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);  // 8
    if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, DWORD(buffer.size()), nullptr, nullptr))
        return WalkStatus::failed;
    const size_t offset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    path.assign(detail->DevicePath, strnlen(detail->DevicePath, buffer.size() - offset));
    return WalkStatus::ok;
}

const GUID& InterfaceClass(int32_t kind)
{
    return kind == kindZrvpccard ? pcCardInterfaceClass : readerInterfaceClass;
}

}  // namespace

ReaderInterfaces::ClassList& ReaderInterfaces::List(int32_t kind)
{
    ClassList& list = lists_[kind == kindZrvpccard ? 1 : 0];
    if (!list.created) {
        list.created = true;
        const GUID& interfaceClass = InterfaceClass(kind);
        list.set.Reset(SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    }
    return list;
}

bool ReaderInterfaces::ClassPresent(int32_t kind)
{
    return List(kind).set.Valid();
}

WalkStatus ReaderInterfaces::Path(int32_t kind, DWORD index, std::string& path)
{
    ClassList& list = List(kind);
    if (!list.set.Valid())
        return WalkStatus::noMoreItems;
    while (index >= list.interfaces.size()) {
        if (list.end != WalkStatus::ok)
            return list.end;
        std::string next;
        WalkStatus walk = ReadDevicePath(list.set.Get(), InterfaceClass(kind), DWORD(list.interfaces.size()), next);
        if (walk != WalkStatus::ok) {
            list.end = walk;
            return walk;
        }
        list.interfaces.push_back(Interface());
        list.interfaces.back().path.swap(next);
    }
    path = list.interfaces[index].path;
    return WalkStatus::ok;
}

int ReaderInterfaces::DriverVersion(int32_t kind, DWORD index, const char* classText, std::string& text)
{
    ClassList& list = List(kind);
    if (index >= list.interfaces.size())
        return -1;
    Interface& item = list.interfaces[index];
    if (!item.versionRead) {
        item.versionRead = true;
        item.versionStatus = InterfaceDriverVersionText(item.path.c_str(), classText, item.versionText);
    }
    text = item.versionText;
    return item.versionStatus;
}

bool ReaderInterfaces::Stalled(const std::string& path, DWORD code) const
{
    return stalled_.count(std::make_pair(path, code)) != 0;
}

void ReaderInterfaces::MarkStalled(const std::string& path, DWORD code)
{
    stalled_.insert(std::make_pair(path, code));
}
