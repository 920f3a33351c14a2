#include "command_pattern.h"

namespace sim::core {
namespace {

struct Token {
    enum Kind { kLiteral, kWord, kText, kAny, kShellWord } kind;
    std::string literal;
};

std::vector<Token> Tokens(const std::string& pattern) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < pattern.size()) {
        const struct {
            const char* name;
            Token::Kind kind;
        } placeholders[] = {{"{word}", Token::kWord},
                            {"{text}", Token::kText},
                            {"{any}", Token::kAny},
                            {"{path}", Token::kShellWord}};
        bool placeholder = false;
        for (const auto& p : placeholders) {
            const std::string name = p.name;
            if (pattern.compare(i, name.size(), name) == 0) {
                tokens.push_back({p.kind, ""});
                i += name.size();
                placeholder = true;
                break;
            }
        }
        if (placeholder)
            continue;
        if (tokens.empty() || tokens.back().kind != Token::kLiteral) {
            tokens.push_back({Token::kLiteral, ""});
        }
        tokens.back().literal += pattern[i++];
    }
    return tokens;
}

bool Accepts(Token::Kind kind, char c) {
    if (kind == Token::kWord)
        return c != ' ' && c != '\t';
    if (kind == Token::kText)
        return c != '"';
    return true;
}

// Reads the shell word starting at `at`: its end, and its value without the
// quotes. False for a word the shell would do more with than remove quotes.
bool ShellWordAt(const std::string& line, size_t at, size_t* end, std::string* value) {
    static const std::string kSpecial = "|&;<>()$`*?[{}!";
    size_t position = at;
    value->clear();
    while (position < line.size() && line[position] != ' ' && line[position] != '\t') {
        const char c = line[position];
        if (c == '\'') {
            const size_t close = line.find('\'', position + 1);
            if (close == std::string::npos)
                return false;
            *value += line.substr(position + 1, close - position - 1);
            position = close + 1;
        } else if (c == '\\') {
            // An escaped character stands for itself, as in '\'' between quoted pieces.
            if (position + 1 >= line.size())
                return false;
            *value += line[position + 1];
            position += 2;
        } else if (c == '"') {
            const size_t close = line.find('"', position + 1);
            if (close == std::string::npos)
                return false;
            const std::string inside = line.substr(position + 1, close - position - 1);
            if (inside.find_first_of("$`\\") != std::string::npos)
                return false;
            *value += inside;
            position = close + 1;
        } else {
            // "~" and "#" mean something only at the start of a word.
            const bool startSpecial = (c == '~' || c == '#') && position == at;
            if (startSpecial || kSpecial.find(c) != std::string::npos)
                return false;
            *value += c;
            ++position;
        }
    }
    *end = position;
    return position > at;
}

bool Match(const std::vector<Token>& tokens, size_t token, const std::string& line, size_t at,
           std::vector<std::string>* captures) {
    if (token == tokens.size())
        return at == line.size();
    const Token& current = tokens[token];
    if (current.kind == Token::kLiteral) {
        return line.compare(at, current.literal.size(), current.literal) == 0 &&
               Match(tokens, token + 1, line, at + current.literal.size(), captures);
    }
    if (current.kind == Token::kShellWord) {
        size_t end = 0;
        std::string value;
        if (!ShellWordAt(line, at, &end, &value))
            return false;
        captures->push_back(value);
        if (Match(tokens, token + 1, line, end, captures))
            return true;
        captures->pop_back();
        return false;
    }
    // Longest first, so that a placeholder followed by more text backs off.
    size_t end = at;
    while (end < line.size() && Accepts(current.kind, line[end]))
        ++end;
    const size_t shortest = current.kind == Token::kAny ? at : at + 1;
    for (size_t stop = end + 1; stop-- > shortest;) {
        captures->push_back(line.substr(at, stop - at));
        if (Match(tokens, token + 1, line, stop, captures))
            return true;
        captures->pop_back();
    }
    return false;
}

}  // namespace

std::optional<std::vector<std::string>> MatchCommand(const std::string& pattern,
                                                     const std::string& line) {
    std::vector<std::string> captures;
    if (!Match(Tokens(pattern), 0, line, 0, &captures))
        return std::nullopt;
    return captures;
}

}  // namespace sim::core
