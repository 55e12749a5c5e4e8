// zrvsim_install: installs a set of simulated readers into the current Wine
// prefix (see scenario.md for the file format).
//   zrvsim_install FILE            readers and driver files as FILE describes
//   zrvsim_install --names A B ... one group-1 zrvemb reader per name
//   zrvsim_install --remove        no simulated readers at all
// --inf zrvsim_declarative.inf first installs the readers' driver from that
// INF (beside this program) instead of zrvsim.inf.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/readers_scenario.h"

namespace {

uint32_t Number(const std::string& text)
{
    return uint32_t(std::strtoul(text.c_str(), nullptr, 0));
}

bool ParseScenario(const char* file, std::vector<readers::Reader>& list, std::string& error)
{
    std::ifstream in(file);
    if (!in) {
        error = std::string("cannot read ") + file;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream words(line);
        std::string verb;
        if (!(words >> verb) || verb[0] == '#')
            continue;
        if (verb == "reader") {
            readers::Reader r;
            std::string field;
            while (words >> field) {
                std::string::size_type eq = field.find('=');
                std::string key = field.substr(0, eq), value = eq == std::string::npos ? "" : field.substr(eq + 1);
                if (key == "kind") r.kind = int(Number(value));
                else if (key == "unit") r.unit = Number(value);
                else if (key == "word") r.word = uint16_t(Number(value));
                else if (key == "identity") r.identity = Number(value);
                else if (key == "version") r.driverVersion = value;
                else if (key == "refuse") r.refuseOtherUnits = value != "no";
                else {
                    error = "line " + std::to_string(number) + ": unknown field " + key;
                    return false;
                }
            }
            list.push_back(r);
            continue;
        }
        if (verb == "file") {
            std::string kind, version;
            words >> kind >> version;
            readers::RemoveDriverFile(int(Number(kind)));
            if (version != "-" && !readers::InstallDriverFile(int(Number(kind)), version, &error))
                return false;
            continue;
        }
        if (list.empty()) {
            error = "line " + std::to_string(number) + ": " + verb + " before any reader";
            return false;
        }
        if (verb == "name") {
            std::string language, rest;
            words >> language;
            std::getline(words, rest);
            rest.erase(0, rest.find_first_not_of(' '));
            list.back().names[Number("0x" + language)] = rest;
        } else if (verb == "fail") {
            std::string event, code;
            words >> event >> code;
            list.back().failures[event] = Number(code);
        } else if (verb == "stall") {
            std::string code, mode;
            words >> code >> mode;
            list.back().stalls.push_back(code);
            if (mode == "ignore-cancel")
                list.back().stallsIgnoreCancel = true;
        } else {
            error = "line " + std::to_string(number) + ": unknown line " + verb;
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string error;
    bool ok;
    const char* inf = "zrvsim.inf";
    if (argc >= 3 && std::strcmp(argv[1], "--inf") == 0) {
        inf = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--remove") == 0) {
        ok = readers::RemoveAll(&error);
    } else if (argc >= 2 && std::strcmp(argv[1], "--names") == 0) {
        ok = readers::InstallNamedReaders(std::vector<std::string>(argv + 2, argv + argc), &error, inf);
    } else if (argc == 2) {
        std::vector<readers::Reader> list;
        ok = ParseScenario(argv[1], list, error) && readers::Install(list, &error, inf);
    } else {
        std::fprintf(stderr, "usage: zrvsim_install [--inf INF] (FILE | --names NAME...) | --remove\n");
        return 2;
    }
    if (!ok)
        std::fprintf(stderr, "zrvsim_install: %s\n", error.c_str());
    return ok ? 0 : 1;
}
