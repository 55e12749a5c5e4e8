// Talks to the download-server simulator through its control endpoint, with
// its own WinINet session that never reads or writes the cache.
#include "support/server_control.h"

#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <cstring>

namespace {

std::string Env(const char* name)
{
    char buffer[1024] = {};
    DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

struct Inet {
    HINTERNET h;
    explicit Inet(HINTERNET handle) : h(handle) {}
    ~Inet()
    {
        if (h)
            InternetCloseHandle(h);
    }
    Inet(const Inet&) = delete;
    Inet& operator=(const Inet&) = delete;
};

// One request to the control endpoint; true on status 200.
bool Control(const char* verb, const std::string& path, const std::string& body, std::string* reply)
{
    if (!ServerAvailable())
        return false;
    Inet session(InternetOpenA("kuvana-test-control", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session.h)
        return false;
    Inet connection(InternetConnectA(session.h, "127.0.0.1", INTERNET_PORT(ServerPort()), nullptr, nullptr,
                                     INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.h)
        return false;
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_COOKIES;
    Inet request(HttpOpenRequestA(connection.h, verb, ("/_control/" + path).c_str(), nullptr, nullptr, nullptr,
                                  flags, 0));
    if (!request.h)
        return false;
    if (!HttpSendRequestA(request.h, nullptr, 0, body.empty() ? nullptr : const_cast<char*>(body.data()),
                          DWORD(body.size())))
        return false;
    DWORD status = 0, size = sizeof status;
    if (!HttpQueryInfoA(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return false;
    std::string data;
    char buffer[8192];
    DWORD got = 0;
    while (InternetReadFile(request.h, buffer, sizeof buffer, &got) && got > 0)
        data.append(buffer, got);
    if (reply)
        *reply = data;
    return status == 200;
}

bool SameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && _strnicmp(a.c_str(), b.c_str(), a.size()) == 0;
}

}  // namespace

bool ServerAvailable() { return !Env("KUVANA_SERVER_URL").empty(); }
std::string ServerUrl(const std::string& path) { return Env("KUVANA_SERVER_URL") + path; }
std::string ServerTlsUrl(const std::string& path) { return Env("KUVANA_SERVER_TLS_URL") + path; }
std::string ServerBadTlsUrl(const std::string& path) { return Env("KUVANA_SERVER_BADTLS_URL") + path; }
int ServerPort() { return std::atoi(Env("KUVANA_SERVER_PORT").c_str()); }
int ServerTlsPort() { return std::atoi(Env("KUVANA_SERVER_TLS_PORT").c_str()); }
int ServerClosedPort() { return std::atoi(Env("KUVANA_SERVER_CLOSED_PORT").c_str()); }

std::string ServerRootDir()
{
    std::string root = Env("KUVANA_SERVER_ROOT");
    if (root.empty())
        return root;
    for (char& c : root)
        if (c == '/')
            c = '\\';
    return "Z:" + root;
}

bool ServerReset()
{
    const char* language = GetSystemDefaultLangID() == 0x0411 ? "ja" : "en";
    return Control("GET", "reset", std::string(), nullptr) && ServerSetRelease(std::string("language=") + language);
}

bool ServerSetRelease(const std::string& options)
{
    return Control("GET", "release/" + options, std::string(), nullptr);
}

bool ServerScript(const std::string& path, const std::string& faults)
{
    return Control("GET", "script/" + faults + path, std::string(), nullptr);
}

bool ServerPutFile(const std::string& path, const std::string& body)
{
    return Control("POST", "file" + path, body, nullptr);
}

bool ServerPinSignature(const std::string& path) { return Control("GET", "pin" + path, std::string(), nullptr); }

std::string ServerRequest::Header(const std::string& name) const
{
    for (const auto& header : headers)
        if (SameText(header.first, name))
            return header.second;
    return std::string();
}

bool ServerRequest::HasHeader(const std::string& name) const
{
    for (const auto& header : headers)
        if (SameText(header.first, name))
            return true;
    return false;
}

std::vector<ServerRequest> ParseServerLog(const std::string& log)
{
    std::vector<ServerRequest> requests;
    ServerRequest current;
    bool open = false;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t end = log.find('\n', pos);
        if (end == std::string::npos)
            end = log.size();
        std::string line = log.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty()) {
            if (open)
                requests.push_back(current);
            current = ServerRequest();
            open = false;
        } else if (!open) {
            current.line = line;
            size_t a = line.find(' ');
            size_t b = line.find(' ', a == std::string::npos ? a : a + 1);
            current.method = line.substr(0, a);
            if (a != std::string::npos)
                current.target = line.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
            open = true;
        } else {
            size_t colon = line.find(':');
            std::string value = colon == std::string::npos ? std::string() : line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ')
                value.erase(0, 1);
            current.headers.emplace_back(line.substr(0, colon), value);
        }
    }
    if (open)
        requests.push_back(current);
    return requests;
}

std::vector<ServerRequest> ServerRequests()
{
    std::string log;
    Control("GET", "log", std::string(), &log);
    return ParseServerLog(log);
}

std::vector<std::string> ServerAbortedPaths()
{
    std::string text;
    Control("GET", "aborts", std::string(), &text);
    std::vector<std::string> paths;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        if (end > pos)
            paths.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return paths;
}
