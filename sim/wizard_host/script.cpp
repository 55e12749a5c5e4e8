#include "sim/wizard_host/script.h"

#include <cstdio>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

bool SplitLine(const std::string& line, std::vector<std::string>* words, std::string* error)
{
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i >= line.size() || line[i] == '#')
            break;
        std::string word;
        bool quoted = false;
        while (i < line.size() && (quoted || !IsBlank(line[i]))) {
            char c = line[i++];
            if (c == '"') {
                quoted = !quoted;
            } else if (quoted && c == '\\' && i < line.size()) {
                char next = line[i++];
                word += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
            } else {
                word += c;
            }
        }
        if (quoted) {
            *error = "unterminated quote";
            return false;
        }
        words->push_back(word);
    }
    return true;
}

// key=value, the key in lower case letters and '-'.
bool IsOption(const std::string& word)
{
    size_t equals = word.find('=');
    if (equals == std::string::npos || equals == 0)
        return false;
    for (size_t i = 0; i < equals; ++i) {
        if (!((word[i] >= 'a' && word[i] <= 'z') || word[i] == '-'))
            return false;
    }
    return true;
}

}  // namespace

std::string ScriptCommand::Option(const std::string& key, const std::string& fallback) const
{
    for (size_t i = 1; i < words.size(); ++i) {
        if (IsOption(words[i]) && words[i].compare(0, key.size() + 1, key + "=") == 0)
            return words[i].substr(key.size() + 1);
    }
    return fallback;
}

std::vector<std::string> ScriptCommand::Arguments() const
{
    std::vector<std::string> result;
    for (size_t i = 1; i < words.size(); ++i) {
        if (!IsOption(words[i]))
            result.push_back(words[i]);
    }
    return result;
}

bool ParseScript(const std::string& text, std::vector<ScriptCommand>* commands, std::string* error)
{
    size_t start = 0;
    int number = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        ++number;
        ScriptCommand command;
        command.line = number;
        std::string lineError;
        if (!SplitLine(text.substr(start, end - start), &command.words, &lineError)) {
            *error = "line " + std::to_string(number) + ": " + lineError;
            return false;
        }
        if (!command.words.empty())
            commands->push_back(command);
        start = end + 1;
    }
    return true;
}

std::string Quote(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}
