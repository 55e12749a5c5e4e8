#include "sim/wizard_host/report.h"

#include <cstdio>

#include "sim/wizard_host/script.h"

std::string Utf8(const std::wstring& wide)
{
    if (wide.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), int(wide.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), int(utf8.size()), nullptr, 0);
    std::wstring out(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), int(utf8.size()), &out[0], size);
    return out;
}

std::string Hex(unsigned long long value, int digits)
{
    char text[32];
    snprintf(text, sizeof text, "0x%0*llx", digits, value);
    return text;
}

std::wstring WindowText(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &length))
        return std::wstring();
    // Room beyond the length: a text replaced by a longer one between the two
    // messages is still read whole, not cut at the old length.
    std::wstring text(length + 1025, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 1000,
                        &copied);
    text.resize(copied);
    return text;
}

std::wstring ClassName(HWND window)
{
    WCHAR name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

CRITICAL_SECTION reportLock;
FILE* reportFile = nullptr;
int errors = 0;
bool fullText = false;

void Report(const std::string& line)
{
    EnterCriticalSection(&reportLock);
    fprintf(stdout, "%s\n", line.c_str());
    fflush(stdout);
    if (reportFile != nullptr) {
        fprintf(reportFile, "%s\n", line.c_str());
        fflush(reportFile);
    }
    LeaveCriticalSection(&reportLock);
}

void ReportError(const std::string& message)
{
    InterlockedIncrement(reinterpret_cast<volatile LONG*>(&errors));
    Report("error message=" + Quote(message));
}

std::string TextValue(const std::wstring& text)
{
    std::string result = "text=" + Quote(Utf8(fullText || text.size() <= 160 ? text : text.substr(0, 160)));
    if (!fullText && text.size() > 160)
        result += " truncated=1";
    return result + " length=" + std::to_string(text.size());
}
