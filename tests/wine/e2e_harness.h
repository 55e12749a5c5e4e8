// Hosts the install progress page in a real wizard on a thread of its own and
// records what the page does to it: status texts, wizard buttons, presses,
// progress bar moves, and the arrival on the page after it.
#ifndef KUVANA_TESTS_E2E_HARNESS_H
#define KUVANA_TESTS_E2E_HARNESS_H

#include <windows.h>

#include <string>
#include <vector>

struct WizardEvent {
    enum Kind { Text, Buttons, Press, Marquee, Position, Arrived };
    Kind kind;
    std::string text;   // Text: the status text as shown, in the ANSI code page
    LPARAM value = 0;   // Buttons: flags; Press: button; Position: percent; Marquee: on/off
    bool nextEnabled = false;  // Press: whether Next was enabled at that moment
    bool marqueeStyle = false; // Marquee, Position: whether the bar had PBS_MARQUEE then
};

class ProgressWizard {
public:
    // Starts the wizard: the progress page, then a blank last page. The page
    // starts its sequence as soon as it is shown.
    ProgressWizard();
    ~ProgressWizard();
    ProgressWizard(const ProgressWizard&) = delete;
    ProgressWizard& operator=(const ProgressWizard&) = delete;

    // Waits until the wizard moved on to its last page.
    bool WaitArrived(DWORD milliseconds);
    // Waits until the page showed `count` status texts.
    bool WaitTexts(size_t count, DWORD milliseconds);
    // Closes the wizard as the user's Cancel would, and waits for it to go.
    void Close();
    // Waits until the threads the page started (its worker and the worker's
    // downloads) have ended.
    bool WaitWorkerEnded(DWORD milliseconds);

    std::vector<WizardEvent> Events() const;
    std::vector<std::string> Texts() const;
    bool Arrived() const;
    HWND Page() const { return page; }
    HWND Sheet() const { return sheet; }

    struct Shared;

private:
    static DWORD WINAPI Thread(void* self);
    HANDLE thread = nullptr;
    HANDLE ready = nullptr;
    HWND sheet = nullptr;
    HWND page = nullptr;
    std::vector<DWORD> threadsBefore;
};

// The module's string in the calling thread's UI language (what the page shows).
std::string ModuleText(UINT id);
// ModuleText(id) followed by " (k/n)".
std::string StepText(UINT id, int k, int n);

// Loads kuvana_coinst.dll for its resources and points the product code linked
// into the test at it; false when it cannot be loaded.
bool UseModuleResources();

// Threads started through the C runtime (_beginthreadex) and still running:
// the page's worker and the download jobs' transfer threads.
std::vector<DWORD> RuntimeThreads();
// Waits until every one of `threads` has ended; false when the time is up.
bool WaitThreadsEnded(const std::vector<DWORD>& threads, DWORD milliseconds);

#endif
