// Stands in for a package installer or the net installer in the tests. It
// records how it was started and can take its time and fail, steered only by
// environment variables so the command line under test stays untouched:
//   KUVANA_FAKE_RECORD     file the run is appended to (nothing recorded without it)
//   KUVANA_FAKE_WAIT_EVENT name of an event to wait for before ending
//   KUVANA_FAKE_SLEEP_MS   milliseconds to sleep before ending
//   KUVANA_FAKE_EXIT_CODE  exit code (default 0)
//   KUVANA_FAKE_PROBE      any text, recorded as its UTF-16 bytes ("probe=<hex>")
// The build makes one signed copy per package whose bytes carry its name
// (the marker below, patched), so a swapped installer shows.
// Record lines (see fake_record.h): "started", "package=" (that name, "any" for
// the generic copy), "program=", "commandline=",
// "directory=" (current directory), "tmp=", "temp=", "folder=" (the names in
// its own folder, sorted, separated by '|'), "names=" (its environment's
// variable names, each between '|'), "path=", "response=<hex bytes>" or
// "response-unreadable", then "ended=<code>".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

// Patched by the build: the text after '=' becomes a package's name, NUL-padded.
volatile const char kPackageMarker[] = "KUVANA_FAKE_PACKAGE=any\0\0\0\0\0\0\0\0\0\0\0\0\0";

std::string PackageName()
{
    std::string name;
    for (size_t i = sizeof "KUVANA_FAKE_PACKAGE=" - 1; i < sizeof kPackageMarker && kPackageMarker[i]; ++i)
        name.push_back(kPackageMarker[i]);
    return name;
}

// The names in the folder of `program`, sorted, joined by '|'.
std::string FolderNames(const std::string& program)
{
    const std::string folder = program.substr(0, program.rfind('\\') + 1);
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name != "." && name != "..")
                names.insert(name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : "|") + name;
    return joined;
}

std::string Environment(const char* name)
{
    char buffer[32768];
    DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) : std::string();
}

void Append(const std::string& recordPath, const std::string& line)
{
    if (recordPath.empty())
        return;
    // Retry briefly: the test may be reading the file at this moment.
    for (int attempt = 0; attempt < 50; ++attempt) {
        HANDLE file = CreateFileA(recordPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            std::string data = line + "\n";
            DWORD written = 0;
            WriteFile(file, data.data(), DWORD(data.size()), &written, nullptr);
            CloseHandle(file);
            return;
        }
        Sleep(20);
    }
}

// The response file named by the -f1 option: the text between -f1" and the next quote.
bool ReadResponse(const std::string& commandLine, std::string& content)
{
    const std::string::size_type option = commandLine.find("-f1\"");
    if (option == std::string::npos)
        return false;
    const std::string::size_type start = option + 4;
    const std::string::size_type end = commandLine.find('"', start);
    if (end == std::string::npos)
        return false;
    const std::string path = commandLine.substr(start, end - start);
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0)
        content.append(buffer, n);
    fclose(file);
    return true;
}

// The variable's UTF-16 units as bytes, as the program's own block holds it.
std::string WideEnvironment(const wchar_t* name)
{
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    return length > 0 && length < 4096
               ? std::string(reinterpret_cast<const char*>(buffer), length * sizeof(wchar_t))
               : std::string();
}

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

// The names in the program's own environment block, "|A|B|".
std::string VariableNames()
{
    std::string names = "|";
    char* block = GetEnvironmentStringsA();
    for (const char* entry = block; entry != nullptr && *entry != '\0'; entry += std::strlen(entry) + 1) {
        const char* equals = std::strchr(entry + 1, '=');
        names.append(entry, equals != nullptr ? size_t(equals - entry) : std::strlen(entry)).push_back('|');
    }
    if (block != nullptr)
        FreeEnvironmentStringsA(block);
    return names;
}

}  // namespace

int main()
{
    const std::string record = Environment("KUVANA_FAKE_RECORD");
    const std::string commandLine = GetCommandLineA();
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);

    std::string response;
    const bool hasResponse = ReadResponse(commandLine, response);
    Append(record, "started");
    Append(record, "package=" + PackageName());
    Append(record, std::string("program=") + program);
    Append(record, "commandline=" + commandLine);
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, directory);
    Append(record, std::string("directory=") + directory);
    Append(record, "tmp=" + Environment("TMP"));
    Append(record, "temp=" + Environment("TEMP"));
    Append(record, "probe=" + Hex(WideEnvironment(L"KUVANA_FAKE_PROBE")));
    Append(record, "folder=" + FolderNames(program));
    Append(record, "names=" + VariableNames());
    Append(record, "path=" + Environment("PATH"));
    Append(record, hasResponse ? "response=" + Hex(response) : std::string("response-unreadable"));

    const std::string eventName = Environment("KUVANA_FAKE_WAIT_EVENT");
    if (!eventName.empty()) {
        HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, eventName.c_str());
        if (event != nullptr) {
            WaitForSingleObject(event, 120000);
            CloseHandle(event);
        }
    }
    const std::string sleep = Environment("KUVANA_FAKE_SLEEP_MS");
    if (!sleep.empty())
        Sleep(DWORD(strtoul(sleep.c_str(), nullptr, 10)));

    const std::string exitText = Environment("KUVANA_FAKE_EXIT_CODE");
    const int exitCode = exitText.empty() ? 0 : atoi(exitText.c_str());
    Append(record, "ended=" + std::to_string(exitCode));
    return exitCode;
}
