// The command lines and file names of the install steps.
#ifndef KUVANA_INSTALL_COMMAND_LINES_H
#define KUVANA_INSTALL_COMMAND_LINES_H

#include <string>

// The net installer's file name and download path.
extern const char kNetInstallerFileName[];
std::string NetInstallerPath(const std::string& tempFolder);

// The silent installer's command line:
//   "<installer>" /nodialog /noreboot /nokps -s -f1"<response>"
// The program path is quoted: a folder holding blanks must not let the system
// start a program named after the folder's first words.
std::string InstallCommandLine(const std::string& installerPath, const std::string& responsePath);

// A command line that starts `programPath` with no arguments, quoted for the
// same reason.
std::string ProgramCommandLine(const std::string& programPath);

#endif
