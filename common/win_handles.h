// Owners of the Windows handles every room opens; each closes on every path.
#ifndef KUVANA_COMMON_WIN_HANDLES_H
#define KUVANA_COMMON_WIN_HANDLES_H

#include <windows.h>
#include <setupapi.h>

class RegKey {
public:
    RegKey() : key_(nullptr) {}
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    bool Open(HKEY root, const char* path, REGSAM access = KEY_READ)
    {
        Close();
        return RegOpenKeyExA(root, path, 0, access, &key_) == ERROR_SUCCESS;
    }
    // Opens the key, making it first when it is missing.
    bool Create(HKEY root, const char* path, REGSAM access)
    {
        Close();
        return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key_, nullptr) ==
               ERROR_SUCCESS;
    }
    void Close()
    {
        if (key_ != nullptr)
            RegCloseKey(key_);
        key_ = nullptr;
    }
    HKEY Get() const { return key_; }

private:
    HKEY key_;
};

class DeviceHandle {
public:
    explicit DeviceHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~DeviceHandle() { Close(); }
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE Get() const { return handle_; }
    HANDLE Release()
    {
        HANDLE h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return h;
    }
    void Close()
    {
        if (Valid())
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    void Reset(HANDLE handle)
    {
        Close();
        handle_ = handle;
    }

private:
    HANDLE handle_;
};

class DeviceInfoSet {
public:
    explicit DeviceInfoSet(HDEVINFO set = INVALID_HANDLE_VALUE) : set_(set) {}
    ~DeviceInfoSet() { Reset(INVALID_HANDLE_VALUE); }
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    bool Valid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
    HDEVINFO Get() const { return set_; }
    void Reset(HDEVINFO set)
    {
        if (Valid())
            SetupDiDestroyDeviceInfoList(set_);
        set_ = set;
    }

private:
    HDEVINFO set_;
};

class LoadedModule {
public:
    explicit LoadedModule(const char* name) : module_(LoadLibraryA(name)) {}
    ~LoadedModule()
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    HMODULE Get() const { return module_; }

private:
    HMODULE module_;
};

// Owns the two handles CreateProcess gives back.
class ProcessHandles {
public:
    ProcessHandles() : info() {}
    ~ProcessHandles()
    {
        if (info.hThread != nullptr)
            CloseHandle(info.hThread);
        if (info.hProcess != nullptr)
            CloseHandle(info.hProcess);
    }
    ProcessHandles(const ProcessHandles&) = delete;
    ProcessHandles& operator=(const ProcessHandles&) = delete;

    PROCESS_INFORMATION* Out() { return &info; }
    HANDLE Process() const { return info.hProcess; }

private:
    PROCESS_INFORMATION info;
};

#endif
