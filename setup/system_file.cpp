#include "setup/system_file.h"

#include "common/win_handles.h"
#include "setup/report.h"
#include "trust/maker_signature.h"
#include "trust/publisher.h"

namespace setup {

namespace {

// The class installer is a few hundred kilobytes.
const LONGLONG kMaxFile = 64 << 20;

bool ReadWhole(HANDLE file, std::string* bytes)
{
    LARGE_INTEGER size = {}, start = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart > kMaxFile || !SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        return false;
    bytes->assign(size_t(size.QuadPart), '\0');
    DWORD got = 0;
    return bytes->empty() ||
           (ReadFile(file, &(*bytes)[0], DWORD(bytes->size()), &got, nullptr) && got == bytes->size());
}

bool SameBytes(const std::wstring& path, const std::string& wanted)
{
    DeviceHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    std::string present;
    return file.Valid() && ReadWhole(file.Get(), &present) && present == wanted;
}

std::string Error(const std::string& what, DWORD code)
{
    return what + " (error " + std::to_string(code) + ")";
}

}  // namespace

bool OwnFolder(std::wstring* folder, std::string* error)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], DWORD(path.size()));
        if (length == 0) {
            *error = Error("cannot tell this program's own path", GetLastError());
            return false;
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) {
            *error = "this program's own path is longer than Windows allows";
            return false;
        }
        path.resize(path.size() * 2);
    }
    *folder = path.substr(0, path.find_last_of(L'\\'));
    return FitsMaxPath(path, error);
}

std::wstring SystemFolder()
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(folder) : std::wstring();
}

Copy CopySignedFile(const std::wstring& source, const std::wstring& target, std::string* what)
{
    const DeviceHandle held(
        CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held.Valid()) {
        const DWORD code = GetLastError();
        *what = Error("cannot open " + Utf8(source) + " for reading alone", code);
        return Copy::Failed;
    }
    if (!SignedByMaker(held.Get(), source)) {
        *what = Utf8(source) + " does not carry the signature of " + kMakerPublisher +
                ": refused, nothing was changed";
        return Copy::Refused;
    }
    std::string bytes;
    if (!ReadWhole(held.Get(), &bytes)) {
        const DWORD code = GetLastError();
        *what = Error("cannot read " + Utf8(source), code);
        return Copy::Failed;
    }
    if (SameBytes(target, bytes)) {
        *what = "already there";
        return Copy::AlreadyThere;
    }
    // Beside the target: in the system folder, which only administrators
    // write, and on its volume, so the move is a rename.
    const std::wstring temporary =
        target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) + L".new";
    {
        DeviceHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        DWORD written = 0;
        const bool ok = file.Valid() &&
                        (bytes.empty() || (WriteFile(file.Get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                                           written == bytes.size())) &&
                        FlushFileBuffers(file.Get());
        if (!ok) {
            const DWORD code = GetLastError();
            *what = Error("cannot write " + Utf8(temporary), code);
            file.Close();
            DeleteFileW(temporary.c_str());
            return Copy::Failed;
        }
    }
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        *what = Error("cannot put it in place as " + Utf8(target), code);
        DeleteFileW(temporary.c_str());
        return Copy::Failed;
    }
    *what = "checked (signed by " + std::string(kMakerPublisher) + ") and copied";
    return Copy::Copied;
}

Removal RemoveFile(const std::wstring& path, DWORD* error)
{
    if (DeleteFileW(path.c_str()))
        return Removal::Removed;
    *error = GetLastError();
    if (*error == ERROR_FILE_NOT_FOUND)
        return Removal::Missing;
    if ((*error == ERROR_ACCESS_DENIED || *error == ERROR_SHARING_VIOLATION) &&
        MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return Removal::AtRestart;
    *error = GetLastError();
    return Removal::Failed;
}

}  // namespace setup
