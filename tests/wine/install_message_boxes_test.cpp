// The message-box script used by the install and page tests: it must see each
// box, report what the box showed and press exactly the scripted button.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/message_boxes.h"
#include "support/test_windows.h"

namespace {

TEST(MessageBoxScript, AnswersInScriptedOrderThenByDefault)
{
    OwnerWindow owner;
    MessageBoxScript boxes({IDRETRY, IDRETRY});
    EXPECT_EQ(MessageBoxA(owner.window, "first", nullptr, MB_RETRYCANCEL), IDRETRY);
    EXPECT_EQ(MessageBoxA(owner.window, "second", nullptr, MB_RETRYCANCEL), IDRETRY);
    // Script used up: the default is Cancel where the box has it...
    EXPECT_EQ(MessageBoxA(owner.window, "third", nullptr, MB_RETRYCANCEL), IDCANCEL);
    // ...and its first button otherwise.
    EXPECT_EQ(MessageBoxA(owner.window, "fourth", "Caption", MB_YESNO), IDYES);

    const std::vector<ShownDialog> shown = boxes.Shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].text, "first");
    EXPECT_EQ(shown[2].text, "third");
    EXPECT_EQ(shown[0].type, UINT(MB_RETRYCANCEL));
    EXPECT_EQ(shown[3].type, UINT(MB_YESNO));
    EXPECT_EQ(shown[0].owner, owner.window);
    EXPECT_EQ(shown[0].threadId, GetCurrentThreadId());
    EXPECT_EQ(ButtonName(shown[1].answer), "Retry");
    EXPECT_EQ(ButtonName(shown[2].answer), "Cancel");
    EXPECT_EQ(shown[3].caption, "Caption");
    EXPECT_TRUE(shown[0].isMessageBox);
}

TEST(MessageBoxScript, NullCaptionShowsTheSystemDefault)
{
    MessageBoxScript boxes;
    EXPECT_EQ(MessageBoxA(nullptr, "text", nullptr, MB_OK), IDOK);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Shown()[0].type, UINT(MB_OK));
    EXPECT_EQ(boxes.Shown()[0].caption, "Error");
    EXPECT_EQ(boxes.Shown()[0].answer, IDOK);
}

TEST(MessageBoxScript, FixedDefaultAnswer)
{
    MessageBoxScript boxes({}, IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_YESNOCANCEL), IDNO);
    EXPECT_EQ(boxes.Shown()[0].type, UINT(MB_YESNOCANCEL));
}

TEST(MessageBoxScript, HookEndsWithTheScript)
{
    {
        MessageBoxScript boxes({IDCANCEL});
        EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_OKCANCEL), IDCANCEL);
    }
    // A later script on the same thread starts from its own first answer.
    MessageBoxScript boxes({IDOK});
    EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_OKCANCEL), IDOK);
    EXPECT_EQ(boxes.Count(), 1u);
}

INT_PTR CALLBACK EndOnCommand(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

// A dialog template with a caption and the buttons OK (1) and Cancel (2).
std::vector<WORD> TwoButtonDialog()
{
    std::vector<WORD> t;
    auto dword = [&t](DWORD v) { t.push_back(LOWORD(v)); t.push_back(HIWORD(v)); };
    auto text = [&t](const wchar_t* s) { while (*s) t.push_back(*s++); t.push_back(0); };
    auto item = [&](DWORD style, short id, const wchar_t* caption) {
        while (t.size() % 2) t.push_back(0);  // DWORD alignment
        dword(style | WS_CHILD | WS_VISIBLE); dword(0);
        t.push_back(10); t.push_back(10); t.push_back(40); t.push_back(14); t.push_back(WORD(id));
        t.push_back(0xFFFF); t.push_back(0x0080);  // Button
        text(caption); t.push_back(0);
    };
    dword(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_VISIBLE); dword(0);
    t.push_back(2); t.push_back(0); t.push_back(0); t.push_back(100); t.push_back(60);
    t.push_back(0); t.push_back(0);  // no menu, default class
    text(L"Plain dialog");
    item(BS_DEFPUSHBUTTON, IDOK, L"OK");
    item(BS_PUSHBUTTON, IDCANCEL, L"Cancel");
    return t;
}

TEST(MessageBoxScript, AnswersOtherDialogsOnlyWhenAsked)
{
    std::vector<WORD> dialog = TwoButtonDialog();
    MessageBoxScript boxes({IDOK}, 0, MessageBoxScript::Scope::Thread, true);
    EXPECT_EQ(DialogBoxIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<DLGTEMPLATE*>(dialog.data()),
                                      nullptr, EndOnCommand, 0),
              IDOK);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_FALSE(boxes.Shown()[0].isMessageBox);
    EXPECT_EQ(boxes.Shown()[0].caption, "Plain dialog");
    EXPECT_EQ(boxes.Shown()[0].type, UINT(MB_OKCANCEL));
}

DWORD WINAPI ShowFromWorker(void* result)
{
    *static_cast<int*>(result) = MessageBoxA(nullptr, "from a worker", nullptr, MB_RETRYCANCEL);
    return 0;
}

TEST(MessageBoxScript, ProcessScopeAnswersBoxesOfOtherThreads)
{
    MessageBoxScript boxes({IDRETRY}, 0, MessageBoxScript::Scope::Process);
    int first = 0, second = 0;
    for (int* result : {&first, &second}) {
        HANDLE worker = CreateThread(nullptr, 0, ShowFromWorker, result, 0, nullptr);
        ASSERT_EQ(WaitForSingleObject(worker, 20000), WAIT_OBJECT_0);
        CloseHandle(worker);
    }
    EXPECT_EQ(first, IDRETRY);
    EXPECT_EQ(second, IDCANCEL);
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text, "from a worker");
    EXPECT_NE(boxes.Shown()[0].threadId, GetCurrentThreadId());
}

}  // namespace
