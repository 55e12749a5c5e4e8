// The wizard host's report: one line an event, to stdout and the --report
// file, and the text helpers the lines are built with.
#ifndef KUVANA_SIM_WIZARD_REPORT_H
#define KUVANA_SIM_WIZARD_REPORT_H

#include <windows.h>

#include <string>

std::string Utf8(const std::wstring& wide);
std::wstring Wide(const std::string& utf8);
std::string Hex(unsigned long long value, int digits = 8);
// A window's whole text (also a text replaced while it is read).
std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);

extern CRITICAL_SECTION reportLock;  // initialised by wmain
extern FILE* reportFile;
extern int errors;
extern bool fullText;  // report texts whole, not cut at 160 characters

void Report(const std::string& line);
void ReportError(const std::string& message);
// text="..." (cut unless fullText) with its length.
std::string TextValue(const std::wstring& text);

#endif
