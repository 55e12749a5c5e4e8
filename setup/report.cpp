#include "setup/report.h"

#include <windows.h>

#include <vector>

namespace setup {

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &utf8[0], length, nullptr, nullptr);
    return utf8;
}

// A console gets the line as UTF-16, whatever its code page; a file or pipe
// gets UTF-8.
void Line(const std::string& text)
{
    const std::string line = text + "\n";
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (out == nullptr || out == INVALID_HANDLE_VALUE)
        return;
    if (GetConsoleMode(out, &mode)) {
        const int length = MultiByteToWideChar(CP_UTF8, 0, line.data(), int(line.size()), nullptr, 0);
        std::vector<wchar_t> wide(size_t(length > 0 ? length : 1));
        MultiByteToWideChar(CP_UTF8, 0, line.data(), int(line.size()), wide.data(), length);
        WriteConsoleW(out, wide.data(), DWORD(length > 0 ? length : 0), &written, nullptr);
    } else {
        WriteFile(out, line.data(), DWORD(line.size()), &written, nullptr);
    }
}

void Step(int number, int count, const std::string& text)
{
    Line("[" + std::to_string(number) + "/" + std::to_string(count) + "] " + text);
}

void Detail(const std::string& text)
{
    Line("      " + text);
}

int Stop(int code, const std::string& text)
{
    Line(std::string(code == kDone || code >= kNoReader ? "Done" : "Stopped") + ": " + text + " (exit " +
         std::to_string(code) + ")");
    return code;
}

bool FitsMaxPath(const std::wstring& path, std::string* error)
{
    if (path.size() < MAX_PATH)
        return true;
    *error = "the path " + Utf8(path) + " is " + std::to_string(path.size()) +
             " characters long; the driver and loader functions take at most " + std::to_string(MAX_PATH - 1) +
             ": move the folder to a shorter path. Nothing was changed";
    return false;
}

}  // namespace setup
