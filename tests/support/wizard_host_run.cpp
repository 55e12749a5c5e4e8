#include "support/wizard_host_run.h"

#include <windows.h>

#include <cstdio>

#include "common/win_handles.h"
#include "support/standard_account.h"

const char kUninstallKey[] =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6A2E91C4-3B7D-4E05-9F18-C2D47B0E5A63}";
const char kNetInstallerSettingsKey[] = "SOFTWARE\\Zorvik Corporation\\Kuvana Net Installer";
const char kDriverSoftwareKey[] = "SOFTWARE\\Wow6432Node\\Zorvik Corporation\\Kuvana Port 2.0 Driver Software";

std::string HostEvent::operator[](const std::string& key) const
{
    auto found = fields.find(key);
    return found != fields.end() ? found->second : std::string();
}

HostEvent ParseHostEvent(const std::string& line)
{
    HostEvent event;
    event.raw = line;
    size_t i = line.find(' ');
    event.kind = line.substr(0, i);
    while (i != std::string::npos && i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        size_t equals = line.find('=', i);
        size_t blank = line.find(' ', i);
        if (equals == std::string::npos)
            break;
        if (blank < equals) {  // a bare word: not a field
            i = blank;
            continue;
        }
        std::string key = line.substr(i, equals - i);
        std::string value;
        i = equals + 1;
        if (i < line.size() && line[i] == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                char c = line[i];
                if (c == '\\' && i + 1 < line.size()) {
                    char next = line[++i];
                    if (next == 'n')
                        c = '\n';
                    else if (next == 'r')
                        c = '\r';
                    else if (next == 't')
                        c = '\t';
                    else if (next == 'x' && i + 2 < line.size()) {
                        c = char(strtol(line.substr(i + 1, 2).c_str(), nullptr, 16));
                        i += 2;
                    } else
                        c = next;
                }
                value += c;
            }
            ++i;
        } else {
            size_t end = line.find(' ', i);
            value = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end;
        }
        event.fields[key] = value;
    }
    return event;
}

std::vector<HostEvent> HostRun::All(const std::string& kind) const
{
    std::vector<HostEvent> result;
    for (const HostEvent& e : events) {
        if (e.kind == kind)
            result.push_back(e);
    }
    return result;
}

int HostRun::IndexOf(const std::string& kind, const std::map<std::string, std::string>& match) const
{
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].kind != kind)
            continue;
        bool all = true;
        for (const auto& m : match)
            all = all && events[i][m.first] == m.second;
        if (all)
            return int(i);
    }
    return -1;
}

HostEvent HostRun::First(const std::string& kind, const std::map<std::string, std::string>& match) const
{
    int index = IndexOf(kind, match);
    return index >= 0 ? events[index] : HostEvent();
}

std::vector<std::string> HostRun::PageTemplates() const
{
    std::vector<std::string> result;
    for (const HostEvent& e : All("page"))
        result.push_back(e["template"]);
    return result;
}

std::string WindowsPath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

std::string EnsureFolder(const std::string& windowsPath)
{
    size_t slash = windowsPath.find_last_of('\\');
    if (slash != std::string::npos && slash > 2)
        CreateDirectoryA(windowsPath.substr(0, slash).c_str(), nullptr);
    CreateDirectoryA(windowsPath.c_str(), nullptr);
    return windowsPath;
}

namespace {

std::string ReadAll(const std::string& path)
{
    std::string text;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return text;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    fclose(file);
    return text;
}

}  // namespace

HostRun ParseReport(const std::string& report)
{
    HostRun run;
    run.report = report;
    size_t start = 0;
    while (start < report.size()) {
        size_t end = report.find('\n', start);
        if (end == std::string::npos)
            end = report.size();
        size_t length = end > start && report[end - 1] == '\r' ? end - start - 1 : end - start;
        if (length > 0)
            run.events.push_back(ParseHostEvent(report.substr(start, length)));
        start = end + 1;
    }
    return run;
}

HostRun RunWizardHost(const std::string& script, const HostOptions& options)
{
    HostRun run;
    const std::string& folder = options.folder;
    // Beside the host, so that it loads the same DLLs from its folder.
    std::string program = options.program;
    DeviceHandle token(nullptr);
    if (options.standard) {
        program = program.substr(0, program.rfind('.')) + "_standard.exe";
        token.Reset(AccountToken(Elevation::Standard, true));
        if (!token.Valid() || !MakeInvokerCopy(folder + "\\" + options.program, folder + "\\" + program))
            return run;
    }
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    char scriptPath[MAX_PATH], reportPath[MAX_PATH];
    GetTempFileNameA(temp, "wzs", 0, scriptPath);
    GetTempFileNameA(temp, "wzr", 0, reportPath);
    FILE* file = fopen(scriptPath, "wb");
    if (file == nullptr)
        return run;
    fwrite(script.data(), 1, script.size(), file);
    fclose(file);

    std::string command = "\"" + folder + "\\" + program + "\" --script \"" + scriptPath +
                          "\" --report \"" + reportPath + "\"";
    if (!options.shots.empty())
        command += " --shots \"" + options.shots + "\"";
    if (!options.device.empty())
        command += " --device \"" + options.device + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    const BOOL started = token.Valid() ? CreateProcessAsUserA(token.Get(), nullptr, line.data(), nullptr, nullptr, FALSE,
                                                              0, nullptr, folder.c_str(), &startup, &process)
                                       : CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                                        folder.c_str(), &startup, &process);
    if (started) {
        if (WaitForSingleObject(process.hProcess, options.timeoutMs) != WAIT_OBJECT_0)
            TerminateProcess(process.hProcess, 99);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        run.exitCode = int(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    const HostRun parsed = ParseReport(ReadAll(reportPath));
    run.report = parsed.report;
    run.events = parsed.events;
    DeleteFileA(scriptPath);
    DeleteFileA(reportPath);
    return run;
}

RegistryValue::RegistryValue(const std::string& key, const std::string& value) : subKey(key), name(value)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    DWORD kind = 0;
    if (RegQueryValueExA(handle, name.c_str(), nullptr, &kind, nullptr, &size) == ERROR_SUCCESS) {
        saved.resize(size);
        if (RegQueryValueExA(handle, name.c_str(), nullptr, &kind, saved.data(), &size) == ERROR_SUCCESS) {
            existed = true;
            type = kind;
            saved.resize(size);
        }
    }
    RegCloseKey(handle);
}

RegistryValue::~RegistryValue()
{
    if (!existed) {
        Remove();
        return;
    }
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) ==
        ERROR_SUCCESS) {
        RegSetValueExA(handle, name.c_str(), 0, type, saved.data(), DWORD(saved.size()));
        RegCloseKey(handle);
    }
}

bool RegistryValue::Set(const std::string& text)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = RegSetValueExA(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             DWORD(text.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok;
}

bool RegistryValue::Remove()
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_WRITE, &handle) != ERROR_SUCCESS)
        return true;
    LONG result = RegDeleteValueA(handle, name.c_str());
    RegCloseKey(handle);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}
