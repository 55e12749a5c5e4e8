// Reads the runs the fake installer appended to its record file.
#ifndef KUVANA_SIM_FAKE_RECORD_H
#define KUVANA_SIM_FAKE_RECORD_H

#include <fstream>
#include <string>
#include <vector>

struct FakeRun {
    std::string package;      // the package whose copy ran ("any": the generic one)
    std::string program;      // the started module's full path
    std::string commandLine;  // GetCommandLineA as the program saw it
    std::string directory;    // its current directory
    std::string tmp, temp;    // its TMP and TEMP
    std::string probe;        // KUVANA_FAKE_PROBE's UTF-16 bytes
    std::string folder;       // the names in its own folder, sorted, '|' between
    std::string names;        // its environment's variable names, '|' around each
    std::string path;         // its PATH
    bool responseRead = false;
    std::string response;     // the response file's bytes
    bool startRecorded = false;  // every line written at its start is there
    bool ended = false;
    int exitCode = 0;
};

inline std::string FakeUnhex(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::vector<FakeRun> ReadFakeRuns(const std::string& path)
{
    std::vector<FakeRun> runs;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "started") {
            runs.emplace_back();
            continue;
        }
        if (runs.empty())
            continue;
        FakeRun& run = runs.back();
        if (line.compare(0, 8, "package=") == 0)
            run.package = line.substr(8);
        else if (line.compare(0, 8, "program=") == 0)
            run.program = line.substr(8);
        else if (line.compare(0, 12, "commandline=") == 0)
            run.commandLine = line.substr(12);
        else if (line.compare(0, 10, "directory=") == 0)
            run.directory = line.substr(10);
        else if (line.compare(0, 4, "tmp=") == 0)
            run.tmp = line.substr(4);
        else if (line.compare(0, 5, "temp=") == 0)
            run.temp = line.substr(5);
        else if (line.compare(0, 6, "probe=") == 0)
            run.probe = FakeUnhex(line.substr(6));
        else if (line.compare(0, 7, "folder=") == 0)
            run.folder = line.substr(7);
        else if (line.compare(0, 6, "names=") == 0)
            run.names = line.substr(6);
        else if (line.compare(0, 5, "path=") == 0)
            run.path = line.substr(5);
        else if (line.compare(0, 9, "response=") == 0) {
            run.responseRead = true;
            run.response = FakeUnhex(line.substr(9));
            run.startRecorded = true;
        } else if (line == "response-unreadable")
            run.startRecorded = true;
        else if (line.compare(0, 6, "ended=") == 0) {
            run.ended = true;
            run.exitCode = std::stoi(line.substr(6));
        }
    }
    return runs;
}

#endif
