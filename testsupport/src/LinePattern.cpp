#include "kortest/LinePattern.h"

#include <stdexcept>

namespace kortest {

LinePattern::LinePattern(const std::string& pattern) {
    if (regcomp(&m_compiled, ("^(" + pattern + ")$").c_str(), REG_EXTENDED) != 0) {
        throw std::invalid_argument("bad pattern: " + pattern);
    }
}

LinePattern::~LinePattern() {
    regfree(&m_compiled);
}

bool LinePattern::Matches(const std::string& text, std::vector<std::string>* groups) const {
    std::vector<regmatch_t> matches(m_compiled.re_nsub + 1);
    if (regexec(&m_compiled, text.c_str(), matches.size(), matches.data(), 0) != 0) {
        return false;
    }
    if (groups != nullptr) {
        groups->clear();
        // Match 1 is the group wrapped around the pattern above: the whole text.
        for (size_t i = 1; i < matches.size(); ++i) {
            const regmatch_t& match = matches[i];
            groups->push_back(match.rm_so < 0
                                  ? std::string()
                                  : text.substr(match.rm_so, match.rm_eo - match.rm_so));
        }
    }
    return true;
}

}  // namespace kortest
