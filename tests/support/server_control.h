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
// put with ServerPutFile.
bool ServerReset();
// Makes the plain path (e.g. "/pkg.exe") answer with the fault options
// (e.g. "fail=2", "status=404", "stall=1000"); "none" removes them.
bool ServerScript(const std::string& path, const std::string& faults);
// Serves body at path (over the root directory) until the next reset.
bool ServerPutFile(const std::string& path, const std::string& body);

// Every served file has the maker's signature at path + ".p7", made over what
// it serves. This pins the signature of what `path` serves now, so that a
// file put there afterwards is served with a signature that no longer fits.
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
