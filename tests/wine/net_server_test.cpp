// The download-server simulator as a WinINet client sees it: the faults the
// download job's tests rely on, the request log, and HTTPS with the test CA.
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <string>

#include "support/server_control.h"
#include "support/stored_serial.h"

namespace {

struct Inet {
    HINTERNET h;
    explicit Inet(HINTERNET handle) : h(handle) {}
    ~Inet()
    {
        if (h)
            InternetCloseHandle(h);
    }
};

struct Fetch {
    bool sent = false;
    DWORD error = 0;
    DWORD status = 0;
    std::string body;
};

Fetch Get(const std::string& url)
{
    Fetch result;
    Inet session(InternetOpenA("kuvana-net-server-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
    Inet request(InternetOpenUrlA(session.h, url.c_str(), nullptr, 0, flags, 0));
    if (!request.h) {
        result.error = GetLastError();
        return result;
    }
    result.sent = true;
    DWORD size = sizeof result.status;
    HttpQueryInfoA(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &result.status, &size, nullptr);
    char buffer[4096];
    DWORD got = 0;
    while (InternetReadFile(request.h, buffer, sizeof buffer, &got) && got > 0)
        result.body.append(buffer, got);
    return result;
}

class ServerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ServerAvailable()) << "run under sim/server/with-server";
        ASSERT_TRUE(ServerReset());
    }
};

TEST_F(ServerTest, ServesPutFilesAndLogsEachRequestHead)
{
    ASSERT_TRUE(ServerPutFile("/dir/a.txt", "hello @SERVER@"));
    Fetch f = Get(ServerUrl("/dir/a.txt?x=1"));
    EXPECT_EQ(200u, f.status);
    EXPECT_EQ("hello 127.0.0.1:" + std::to_string(ServerPort()), f.body);
    EXPECT_EQ(404u, Get(ServerUrl("/missing.txt")).status);

    auto requests = ServerRequests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/dir/a.txt?x=1", requests[0].target);
    EXPECT_EQ("kuvana-net-server-test", requests[0].Header("user-agent"));
    EXPECT_FALSE(requests[0].HasHeader("Authorization"));
}

TEST_F(ServerTest, ScriptedFailuresRecoverAfterTheirCount)
{
    ASSERT_TRUE(ServerPutFile("/pkg.bin", "payload"));
    ASSERT_TRUE(ServerScript("/pkg.bin", "fail=2"));
    EXPECT_EQ(500u, Get(ServerUrl("/pkg.bin")).status);
    EXPECT_EQ(500u, Get(ServerUrl("/pkg.bin")).status);
    Fetch f = Get(ServerUrl("/pkg.bin"));
    EXPECT_EQ(200u, f.status);
    EXPECT_EQ("payload", f.body);

    EXPECT_EQ(404u, Get(ServerUrl("/_fault/fail=1,status=404/pkg.bin")).status);
    EXPECT_EQ(200u, Get(ServerUrl("/_fault/fail=1,status=404/pkg.bin")).status);
    EXPECT_EQ(400u, Get(ServerUrl("/_fault/no-such-option/pkg.bin")).status);
}

TEST_F(ServerTest, RedirectIsFollowedToThePlainPath)
{
    ASSERT_TRUE(ServerPutFile("/r.txt", "target"));
    Fetch f = Get(ServerUrl("/_fault/redirect/r.txt"));
    EXPECT_EQ(200u, f.status);
    EXPECT_EQ("target", f.body);
}

TEST_F(ServerTest, ClosedPortRefusesAtOnce)
{
    DWORD start = GetTickCount();
    Fetch f = Get("http://127.0.0.1:" + std::to_string(ServerClosedPort()) + "/a.txt");
    EXPECT_FALSE(f.sent);
    EXPECT_EQ(DWORD(ERROR_INTERNET_CANNOT_CONNECT), f.error);
    EXPECT_LT(GetTickCount() - start, 10000u);
}

TEST_F(ServerTest, HttpsWithTheTestCaAndNotWithAnUnknownOne)
{
    ASSERT_TRUE(ServerTrustTestCa());
    ASSERT_TRUE(ServerPutFile("/s.txt", "secret"));
    Fetch good = Get(ServerTlsUrl("/s.txt"));
    EXPECT_TRUE(good.sent) << good.error;
    EXPECT_EQ("secret", good.body);
    Fetch bad = Get(ServerBadTlsUrl("/s.txt"));
    EXPECT_FALSE(bad.sent);
    EXPECT_NE(0u, bad.error);
}

TEST_F(ServerTest, ReleaseLinesFollowTheSettingsAndTheSystemLanguage)
{
    ASSERT_TRUE(ServerPutFile("/l/url_list.txt", "KPS_EXE,/k.exe"));
    ASSERT_TRUE(ServerPutFile("/k.exe", "kps"));
    const std::string language = GetSystemDefaultLangID() == 0x0411 ? "ja" : "en";
    const std::string kps = "KPS_EXE_SHA256,ecd81417359fb32af5f5f9188868aceb495fb3a599b77f5d9280d06571c74c83\r\n"
                            "KPS_EXE_SIZE,3\r\n";
    EXPECT_NE(std::string::npos, Get(ServerUrl("/l/url_list.txt")).body.find(
                                     "RELEASE_LANGUAGE," + language + "\r\n" + kps));
    ASSERT_TRUE(ServerSetRelease("serial=7"));
    EXPECT_NE(std::string::npos, Get(ServerUrl("/l/url_list.txt")).body.find("\r\nRELEASE_SERIAL,7\r\n"));
    EXPECT_FALSE(ServerSetRelease("serial=seven"));
    // Pinned, the list keeps the lines of the file it named.
    ASSERT_TRUE(ServerPinSignature("/l/url_list.txt"));
    ASSERT_TRUE(ServerPutFile("/k.exe", "swapped"));
    EXPECT_NE(std::string::npos, Get(ServerUrl("/l/url_list.txt")).body.find(kps));
}

TEST(StoredSerialGuardTest, LeavesTheStoredSerialAsFound)
{
    uint64_t before = 0;
    const bool present = ReadStoredSerial(&before);
    for (bool startPresent : {false, true}) {
        ASSERT_TRUE(startPresent ? WriteStoredSerial(20261209) : RemoveStoredSerial());
        {
            StoredSerialGuard guard;
            ASSERT_TRUE(WriteStoredSerial(99));
        }
        uint64_t now = 0;
        EXPECT_EQ(startPresent, ReadStoredSerial(&now));
        EXPECT_EQ(startPresent ? 20261209u : 0u, now);
    }
    ASSERT_TRUE(present ? WriteStoredSerial(before) : RemoveStoredSerial());
}

}  // namespace
