// What a started program's environment takes from the system rather than
// from its caller.
#ifndef KUVANA_TRUST_SYSTEM_ENVIRONMENT_H
#define KUVANA_TRUST_SYSTEM_ENVIRONMENT_H

#include <string>

// Whether the thread (else the process) runs as SYSTEM, whose environment is
// the system's own.
bool RunningAsSystem();

// The system's PATH: HKLM's Session Manager\Environment "Path", expanded
// with the Windows folder and that key's own values, never the caller's.
// Empty when the system has none.
std::wstring ReadSystemPath();

#endif
