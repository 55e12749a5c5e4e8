// The wizard host's script: one command a line, words separated by blanks,
// "double quoted" words may hold blanks (\" and \\ inside), # starts a comment.
#ifndef KUVANA_SIM_SCRIPT_H
#define KUVANA_SIM_SCRIPT_H

#include <string>
#include <vector>

struct ScriptCommand {
    int line = 0;
    std::vector<std::string> words;  // words[0] is the command
    // The value of a key=value word after the command, or `fallback`.
    std::string Option(const std::string& key, const std::string& fallback = std::string()) const;
    // The words after the command that are not key=value options.
    std::vector<std::string> Arguments() const;
};

// Parses UTF-8 script text; on a syntax error returns false with `error` set.
bool ParseScript(const std::string& text, std::vector<ScriptCommand>* commands, std::string* error);

// Report value quoting: "..." with \" \\ \r \n \t and \xNN for other control bytes.
std::string Quote(const std::string& utf8);

#endif
