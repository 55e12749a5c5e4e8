// Test side of the download-server simulator (sim/server): its addresses, as
// exported by sim/server/with-server, and its control endpoint.
#ifndef KUVANA_TESTS_SUPPORT_SERVER_CONTROL_H
#define KUVANA_TESTS_SUPPORT_SERVER_CONTROL_H

#include <string>
#include <utility>
#include <vector>

// True when the test runs under with-server (KUVANA_SERVER_URL is set).
bool ServerAvailable();

// "http://127.0.0.1:<port>" + path; path starts with '/'.
std::string ServerUrl(const std::string& path = "");
// The HTTPS ports: certificate from the test CA, and from an unknown CA.
std::string ServerTlsUrl(const std::string& path = "");
std::string ServerBadTlsUrl(const std::string& path = "");
int ServerPort();
int ServerTlsPort();
// A 127.0.0.1 port that refuses connections while the test runs.
int ServerClosedPort();
// The served directory as a Windows path (Z:\...), empty when none.
std::string ServerRootDir();

// Clears the request log, the scripted faults, their counters and the files
// put with ServerPutFile, and sets the release back to its defaults (serial 1,
// expiring 90 days on, signed with the test release key) in this process's
// system language (ja for 0x0411, else en).
bool ServerReset();
// Changes how lists (paths ending in url_list.txt) are served, until the next
// reset: comma-separated options such as "serial=5", "expires=-60" (seconds
// from now, or YYYY-MM-DDThh:mm:ssZ), "language=ja", "key=next" or "key=maker",
// "omit=KPS_EXE_SIZE", "line=KPS_EXE_SIZE:12a", "extra=RELEASE_SERIAL:7",
// "signers=2", "content=<OID>", "net=<path>", "lines=off" (see
// sim/server/README.md). False on an unknown option.
bool ServerSetRelease(const std::string& options);
// Makes the plain path (e.g. "/pkg.exe") answer with the fault options
// (e.g. "fail=2", "status=404", "stall=1000"); "none" removes them.
bool ServerScript(const std::string& path, const std::string& faults);
// Serves body at path (over the root directory) until the next reset.
bool ServerPutFile(const std::string& path, const std::string& body);

// Every served file has a signature at path + ".p7", made over what it serves:
// a list's with the release key, over the list with its release lines
// computed from the files it names; any other file's with the maker's key.
// This pins what `path` serves now with its signature (a list together with
// its release lines), so that a list, a file it names or the file itself put
// afterwards no longer fits.
bool ServerPinSignature(const std::string& path);

struct ServerRequest {
    std::string line;    // "GET /a.txt HTTP/1.1"
    std::string method;  // "GET"
    std::string target;  // "/a.txt" as sent, query included
    std::vector<std::pair<std::string, std::string>> headers;
    // Value of the first header of that name (case-blind); empty when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

// Every request the server received since the last reset, in order (control
// requests excluded). A request is logged before its response is sent.
std::vector<ServerRequest> ServerRequests();
std::vector<ServerRequest> ParseServerLog(const std::string& log);
// Paths whose response the client cut short by closing the connection.
std::vector<std::string> ServerAbortedPaths();

// Adds the server's test CA to the prefix's machine root store (links crypt32).
bool ServerTrustTestCa();

#endif
