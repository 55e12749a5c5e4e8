// The download step against the download-server simulator: the file in the
// temporary folder, the progress bar, and the Retry/Cancel question after
// each failed attempt.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install/download_step.h"
#include "net/http_download.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"
#include "support/import_patch.h"
#include "support/message_boxes.h"
#include "support/server_control.h"
#include "support/temp_folder_sandbox.h"
#include "support/test_windows.h"

namespace {

// Stands in for the progress page: a window with the progress bar 1006,
// whose PBM_SETPOS calls are recorded.
class ProgressPage {
public:
    ProgressPage()
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        window = CreateWindowExA(0, "STATIC", "page", WS_OVERLAPPED, 0, 0, 300, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 0, 0, 200, 20, window,
                              reinterpret_cast<HMENU>(INT_PTR(IDC_PROGRESS_BAR)), GetModuleHandleA(nullptr), nullptr);
        SetPropA(bar, "recorder", this);
        original = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(bar, GWLP_WNDPROC, LONG_PTR(&Record)));
    }
    ~ProgressPage() { DestroyWindow(window); }

    int Position() const { return int(SendMessageA(bar, PBM_GETPOS, 0, 0)); }

    HWND window = nullptr;
    HWND bar = nullptr;
    std::vector<int> positions;

private:
    static LRESULT CALLBACK Record(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<ProgressPage*>(GetPropA(bar, "recorder"));
        if (message == PBM_SETPOS)
            self->positions.push_back(int(wParam));
        return CallWindowProcA(self->original, bar, message, wParam, lParam);
    }
    WNDPROC original = nullptr;
};

class DownloadStepTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ServerAvailable()) << "run under sim/server/with-server";
        ASSERT_NE(LoadLibraryA("kuvana_coinst.dll"), nullptr);
        ASSERT_TRUE(ServerReset());
    }

    // DownloadFile, telling whether it ended by the user's cancel.
    bool Cancelled(const std::string& url, const char* fileName,
                   unsigned long long maxBytes = HttpDownload::kNoSizeBound)
    {
        try {
            DownloadFile(page.window, folder, url.c_str(), fileName, maxBytes);
        } catch (DownloadCancelledType code) {
            EXPECT_EQ(code, -1);
            return true;
        }
        return false;
    }

    static std::string Body(size_t size)
    {
        std::string body(size, '\0');
        for (size_t i = 0; i < size; ++i)
            body[i] = char((i * 131 + i / 977) & 0xFF);
        return body;
    }

    TempFolderSandbox temp{"temp dir"};
    // The step downloads into the folder it is given (the sequence's working folder).
    std::string folder = temp.Folder();
    ProgressPage page;
};

TEST_F(DownloadStepTest, CompleteDownloadShowsNoMessageAndLeavesTheBarAtTheLastPercentage)
{
    const std::string body = Body(60000);
    ASSERT_TRUE(ServerPutFile("/pkg/setup.exe", body));
    // Slow enough for several polls of 100 ms.
    ASSERT_TRUE(ServerScript("/pkg/setup.exe", "trickle=8000:120"));
    MessageBoxScript boxes;

    EXPECT_FALSE(Cancelled(ServerUrl("/pkg/setup.exe"), "setup.exe"));

    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(ReadWholeFile(temp.Path("setup.exe")), body);
    EXPECT_EQ(temp.Files(), (std::set<std::string>{"setup.exe"}));
    EXPECT_EQ(ServerRequests().size(), 1u);
    const std::vector<int>& p = page.positions;
    ASSERT_GE(p.size(), 4u);
    EXPECT_EQ(p.front(), 0);
    // The bar moved through the transfer, never backwards, within 0..100.
    for (size_t i = 1; i < p.size(); ++i)
        EXPECT_LE(p[i - 1], p[i]);
    EXPECT_GT(std::count_if(p.begin(), p.end(), [](int v) { return v > 0 && v < 100; }), 0);
    EXPECT_LE(p.back(), 100);
    // The last poll's value is set once more after the job reported its end.
    EXPECT_EQ(p[p.size() - 1], p[p.size() - 2]);
    EXPECT_EQ(page.Position(), p.back());
}

TEST_F(DownloadStepTest, RetryMakesANewAttemptUntilTheFileArrives)
{
    const std::string body = Body(3000);
    ASSERT_TRUE(ServerPutFile("/pkg/setup.iss", body));
    ASSERT_TRUE(ServerScript("/pkg/setup.iss", "fail=2"));  // two answers of 500, then the file
    MessageBoxScript boxes({IDRETRY, IDRETRY});

    EXPECT_FALSE(Cancelled(ServerUrl("/pkg/setup.iss"), "setup.iss"));

    const std::vector<ShownDialog> shown = boxes.Shown();
    ASSERT_EQ(shown.size(), 2u);
    for (const ShownDialog& box : shown) {
        EXPECT_EQ(box.text, LoadModuleString(IDS_DOWNLOAD_RETRY_CANCEL));
        EXPECT_EQ(box.type, UINT(MB_RETRYCANCEL));
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.owner, page.window);
    }
    EXPECT_FALSE(shown[0].text.empty());
    EXPECT_EQ(ServerRequests().size(), 3u);
    EXPECT_EQ(ReadWholeFile(temp.Path("setup.iss")), body);
}

// Stands in for a virus scanner that holds a new file for a moment: the first
// deletion of an existing file finds it held with delete sharing, so the
// deletion stays pending until the scanner lets go half a second later.
void* originalDelete = nullptr;
HANDLE scanned = INVALID_HANDLE_VALUE;

DWORD WINAPI ReleaseLater(void*)
{
    Sleep(500);
    CloseHandle(scanned);
    return 0;
}

BOOL WINAPI DeleteWhileScanned(LPCSTR path)
{
    if (scanned == INVALID_HANDLE_VALUE && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        scanned = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
        CloseHandle(CreateThread(nullptr, 0, ReleaseLater, nullptr, 0, nullptr));
    }
    return reinterpret_cast<decltype(&DeleteFileA)>(originalDelete)(path);
}

TEST_F(DownloadStepTest, RetryWaitsForTheEarlierFileAScannerStillHolds)
{
    ASSERT_TRUE(ServerPutFile("/pkg/setup.exe", "MZ signed"));
    ASSERT_TRUE(ServerScript("/pkg/setup.exe", "fail=1"));
    MessageBoxScript boxes({IDRETRY});
    ImportPatch patch("kernel32.dll", "DeleteFileA", reinterpret_cast<void*>(&DeleteWhileScanned));
    ASSERT_TRUE(patch.Applied());
    originalDelete = patch.Original();

    EXPECT_FALSE(Cancelled(ServerUrl("/pkg/setup.exe"), "setup.exe"));

    EXPECT_NE(scanned, INVALID_HANDLE_VALUE) << "the retry found the earlier file";
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(ServerRequests().size(), 2u);
    EXPECT_EQ(ReadWholeFile(temp.Path("setup.exe")), "MZ signed");
}

TEST_F(DownloadStepTest, CancelRaisesDownloadCancelledAndKeepsThePartialFile)
{
    ASSERT_TRUE(ServerPutFile("/pkg/setup.exe", Body(1000)));
    ASSERT_TRUE(ServerScript("/pkg/setup.exe", "status=404"));
    MessageBoxScript boxes({IDRETRY, IDCANCEL});

    EXPECT_TRUE(Cancelled(ServerUrl("/pkg/setup.exe"), "setup.exe"));

    EXPECT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(ServerRequests().size(), 2u);
    // Each attempt created the file anew; the failed one leaves it empty.
    EXPECT_EQ(temp.Files(), (std::set<std::string>{"setup.exe"}));
    EXPECT_EQ(ReadWholeFile(temp.Path("setup.exe")), "");
}

TEST_F(DownloadStepTest, UnreachableServerAsksAfterEachAttempt)
{
    MessageBoxScript boxes({IDRETRY, IDRETRY, IDRETRY, IDCANCEL});
    const std::string url = "http://127.0.0.1:" + std::to_string(ServerClosedPort()) + "/pkg/setup.exe";
    EXPECT_TRUE(Cancelled(url, "setup.exe"));
    EXPECT_EQ(boxes.Count(), 4u);
}

TEST_F(DownloadStepTest, StartFailuresAskAtOnceWithoutPolling)
{
    const std::string tooLong = ServerUrl("/") + std::string(512, 'a');
    // Empty, another scheme, not an address, too long.
    const std::string refused[] = {"", "ftp://127.0.0.1/pkg/setup.exe", "not a url", tooLong};
    for (const std::string& url : refused) {
        page.positions.clear();
        MessageBoxScript boxes({IDRETRY});
        EXPECT_TRUE(Cancelled(url, "setup.exe")) << url;
        EXPECT_EQ(boxes.Count(), 2u) << url;
        // Per attempt the bar is set to 0 once; nothing is polled.
        EXPECT_EQ(page.positions, (std::vector<int>{0, 0})) << url;
    }
    EXPECT_TRUE(ServerRequests().empty());
}

TEST_F(DownloadStepTest, LocalFileThatCannotBeCreatedAsksAtOnce)
{
    ASSERT_TRUE(ServerPutFile("/pkg/setup.exe", Body(100)));
    ASSERT_TRUE(CreateDirectoryA(temp.Path("setup.exe").c_str(), nullptr));
    // A folder in the file's place, and a folder that is gone: a first
    // attempt waits for no earlier file.
    for (const std::string& where : {temp.Folder(), temp.Path("gone\\")}) {
        folder = where;
        MessageBoxScript boxes;
        const DWORD start = GetTickCount();
        EXPECT_TRUE(Cancelled(ServerUrl("/pkg/setup.exe"), "setup.exe")) << where;
        EXPECT_LT(GetTickCount() - start, 2000u) << where;
        EXPECT_EQ(boxes.Count(), 1u) << where;
    }
    EXPECT_TRUE(ServerRequests().empty());
}

TEST_F(DownloadStepTest, EmptyFileNameFailsRatherThanWritingTheFolder)
{
    ASSERT_TRUE(ServerPutFile("/pkg/setup.exe", Body(100)));
    MessageBoxScript boxes;
    EXPECT_TRUE(Cancelled(ServerUrl("/pkg/setup.exe"), ""));
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(temp.Files().empty());
}

TEST_F(DownloadStepTest, NoWorkingFolderMeansNoDownloadIntoTheDriveRoot)
{
    ASSERT_TRUE(ServerPutFile("/pkg/setup.exe", Body(100)));
    temp.MakeTempPathUnreadable();
    folder.clear();
    MessageBoxScript boxes;
    EXPECT_TRUE(Cancelled(ServerUrl("/pkg/setup.exe"), "setup.exe"));
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(ServerRequests().empty());
    EXPECT_FALSE(FileExists("\\setup.exe"));
    DeleteFileA("\\setup.exe");
}

TEST_F(DownloadStepTest, SizeBoundRefusesALargerResponseAndAnEarlierFileIsReplaced)
{
    const unsigned long bound = 64 * 1024;
    ASSERT_TRUE(ServerPutFile("/list/exact.txt", Body(bound)));
    ASSERT_TRUE(ServerPutFile("/list/over.txt", Body(bound + 1)));
    ASSERT_TRUE(WriteWholeFile(temp.Path("exact.txt"), "an earlier attempt's rest"));
    MessageBoxScript boxes({IDCANCEL});

    EXPECT_FALSE(Cancelled(ServerUrl("/list/exact.txt"), "exact.txt", bound));
    EXPECT_EQ(ReadWholeFile(temp.Path("exact.txt")), Body(bound));
    EXPECT_TRUE(Cancelled(ServerUrl("/list/over.txt"), "over.txt", bound));
    EXPECT_EQ(boxes.Count(), 1u);
    // Refused on its announced length, before a byte of the body was stored.
    EXPECT_EQ(ReadWholeFile(temp.Path("over.txt")), "");
}

// A release's <KEY>_SIZE is the bound: one byte more stops the download
// before that byte is stored, whatever the length the server announces. A
// bound of 0 lets nothing through (the job takes no empty body either).
TEST_F(DownloadStepTest, OneByteBeyondTheBoundIsNeverStored)
{
    // A byte sent beyond an announced length: Wine 8's WinINet passes it on,
    // so the bound stops the download. Wine 10's passes it on only when it
    // came in the same read as the last announced ones, else the file ends
    // whole at the bound; either way nothing beyond the bound is stored.
    const bool eitherOutcome = WineMajor() >= 10;
    const struct {
        unsigned long long bound;
        size_t served;
        const char* fault;
        bool cancelled;
    } cases[] = {
        {0, 0, "", true},
        {0, 1, "", true},
        {5000, 5000, "", false},
        {5000, 5001, "", true},
        {5000, 5000, "extra=1/", true},
        {5000, 5001, "length=5000/", true},
        {5000, 5001, "nolength/", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fault) + std::to_string(c.served) + " bytes, bound " + std::to_string(c.bound));
        ASSERT_TRUE(ServerPutFile("/pkg/bounded.exe", Body(c.served)));
        MessageBoxScript boxes({IDCANCEL});
        const std::string path = (*c.fault ? "/_fault/" + std::string(c.fault) : "/") + "pkg/bounded.exe";
        const bool cancelled = Cancelled(ServerUrl(path), "bounded.exe", c.bound);
        if (!(eitherOutcome && std::string(c.fault).rfind("length=", 0) == 0))
            EXPECT_EQ(cancelled, c.cancelled);
        const std::string stored = ReadWholeFile(temp.Path("bounded.exe"));
        EXPECT_LE(stored.size(), c.bound);
        EXPECT_EQ(stored, Body(c.served).substr(0, stored.size()));
        DeleteFileA(temp.Path("bounded.exe").c_str());
    }
}

}  // namespace
