// Answers the message boxes that code under test shows, as the test scripts,
// and records each one: text, caption, buttons, owner and the answer given.
//
//   MessageBoxScript boxes({IDRETRY, IDRETRY, IDCANCEL});   // then the default
//   CodeThatShowsBoxes();
//   ASSERT_EQ(boxes.Count(), 3u);
//   EXPECT_EQ(boxes.Shown()[0].type, UINT(MB_RETRYCANCEL));
//
// By default it hooks the calling thread (a CBT hook: the box is seen when it
// is activated, before its modal loop runs). With Scope::Process it watches
// every thread of the process instead, for boxes shown by threads the test
// does not own (e.g. a worker started by the code under test).
#ifndef KUVANA_TESTS_MESSAGE_BOXES_H
#define KUVANA_TESTS_MESSAGE_BOXES_H

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

struct ShownDialog {
    HWND window = nullptr;
    HWND owner = nullptr;       // GetWindow(GW_OWNER)
    DWORD threadId = 0;         // thread that shows it
    std::string text;           // message text (control 0xFFFF); empty for other dialogs
    std::wstring wideText;
    std::string caption;
    std::wstring wideCaption;
    std::vector<int> buttons;   // command ids of the push buttons, in child order
    UINT type = ~0u;            // MB_OK, MB_OKCANCEL, ... from the buttons; ~0u when no type fits
    bool isMessageBox = false;
    int answer = 0;             // the command id pressed
};

class MessageBoxScript {
public:
    enum class Scope { Thread, Process };

    // `answers` are pressed for the first, second, ... box; after them
    // `defaultAnswer`, or, when it is 0, IDCANCEL if the box has it, else its
    // first button. With `anyDialog` other dialogs (class #32770 without a
    // message text) are answered the same way; otherwise they are left alone.
    explicit MessageBoxScript(std::vector<int> answers = {}, int defaultAnswer = 0, Scope scope = Scope::Thread,
                              bool anyDialog = false);
    ~MessageBoxScript();
    MessageBoxScript(const MessageBoxScript&) = delete;
    MessageBoxScript& operator=(const MessageBoxScript&) = delete;

    std::vector<ShownDialog> Shown() const;
    size_t Count() const;
    // Every box's text and the answer given, one a line: what a failed count
    // prints, so that an unexpected box says which message it was.
    std::string Describe() const;
    // Waits up to `milliseconds` until at least `count` dialogs were answered.
    bool WaitForCount(size_t count, DWORD milliseconds) const;

    struct State;

private:
    std::shared_ptr<State> state;
};

// "Retry", "Cancel", "OK", ... for messages; the id as a number otherwise.
std::string ButtonName(int id);

#endif
