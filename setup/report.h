// What the setup program prints: one line per step and detail, then one line
// with the outcome. Texts are UTF-8; paths and registry texts come as UTF-16.
#ifndef KUVANA_SETUP_REPORT_H
#define KUVANA_SETUP_REPORT_H

#include <string>

namespace setup {

// One exit code per outcome; from kNoReader on the program did what this
// machine allows now.
enum Exit {
    kDone = 0,               // install: registered, readers present updated; remove: all gone
    kUsage = 1,
    kNotElevated = 2,        // refused, nothing changed
    kDeviceCoInstaller = 3,  // refused: a driver key already lists the DLL; nothing changed
    kFiles = 4,              // the INF or the DLL is missing, not the maker's, of another class, or cannot be copied
    kRegistry = 5,
    kDriverFailed = 6,
    kNoReader = 7,           // registered; the package waits in the driver store for a reader
    kNewerDriverKept = 8,    // registered; the readers keep a newer driver
    kRestart = 9,            // done once Windows restarts
};

std::string Utf8(const std::wstring& text);

void Line(const std::string& text);
void Step(int number, int count, const std::string& text);
void Detail(const std::string& text);
// Prints the outcome and gives back its code.
int Stop(int code, const std::string& text);

// True when the path is short enough for the calls that take at most MAX_PATH
// characters (SetupAPI, the loader); else false with a message saying so,
// rather than working on a cut-off path.
bool FitsMaxPath(const std::wstring& path, std::string* error);

}  // namespace setup

#endif
