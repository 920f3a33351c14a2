#include "ControllerState.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>

#include "UpdateLibrary.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMapQuery = "DynamicPartitionIndexInfo";
constexpr const char* kAliveQuery = "OrinStatus";
// The map in the query's answer: positions 10 and 11, high byte first.
constexpr size_t kMapHigh = 9;
constexpr size_t kMapLow = 10;
constexpr unsigned kSessionRefusal = 0xCC;
// Completion codes are bytes; the pass-through reports a failed transfer
// (0xCC included) with a larger value.
constexpr unsigned kLargestCompletionCode = 0xFF;

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The section of `name`, its header included, with the session id left out
// of the request: "IsSessionRequired" set to 0.
std::optional<std::string> SectionWithoutSession(const fs::path& catalogue,
                                                 const std::string& name) {
    std::ifstream in(catalogue);
    std::string section;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        const std::string text = Trimmed(line);
        if (!text.empty() && text[0] == '[') {
            if (inside) {
                break;
            }
            inside = text == "[" + name + "]";
        }
        if (!inside) {
            continue;
        }
        const size_t equals = text.find('=');
        const bool sessionKey =
            equals != std::string::npos && Trimmed(text.substr(0, equals)) == "IsSessionRequired";
        section += (sessionKey ? std::string("IsSessionRequired = 0") : line) + "\n";
    }
    if (section.empty()) {
        return std::nullopt;
    }
    return section;
}

// A private directory made for the queries, entered while it lives; the
// working directory is given back and the directory removed at the end.
class QueryDirectory {
public:
    QueryDirectory() : m_back(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        char pattern[] = "/tmp/updatehost-status-XXXXXX";
        if (m_back >= 0 && mkdtemp(pattern) != nullptr) {
            m_path = pattern;
        }
    }
    ~QueryDirectory() {
        if (m_entered && fchdir(m_back) != 0) {
            std::perror("updatehost: cannot return to the package directory");
        }
        if (m_back >= 0) {
            close(m_back);
        }
        std::error_code ignored;
        if (!m_path.empty()) {
            fs::remove_all(m_path, ignored);
        }
    }
    QueryDirectory(const QueryDirectory&) = delete;
    QueryDirectory& operator=(const QueryDirectory&) = delete;

    const fs::path& Path() const { return m_path; }
    bool Enter() {
        m_entered = !m_path.empty() && chdir(m_path.c_str()) == 0;
        return m_entered;
    }

private:
    const int m_back;
    fs::path m_path;
    bool m_entered = false;
};

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%02x", value);
    return text;
}

void ReadMap(const std::vector<unsigned char>& answer, ControllerState& state) {
    if (answer.size() <= kMapLow) {
        state.problem = std::string(kMapQuery) + " answered too short to hold the partition map";
        return;
    }
    const unsigned map = static_cast<unsigned>(answer[kMapHigh]) << 8 | answer[kMapLow];
    for (int number = 0; number < 16; ++number) {
        if ((map & (1u << number)) != 0) {
            state.partitions.push_back(number);
        }
    }
    state.known = true;
    state.partitionsKnown = true;
}

}  // namespace

ControllerState AskController(const UpdateLibrary& library, const std::string& packageDirectory) {
    ControllerState state;
    const fs::path package(packageDirectory);
    const std::optional<std::string> mapQuery =
        SectionWithoutSession(package / "ipmi_cmd.ini", kMapQuery);
    const std::optional<std::string> aliveQuery =
        SectionWithoutSession(package / "ipmi_cmd.ini", kAliveQuery);
    if (!mapQuery || !aliveQuery) {
        state.problem =
            "the package's ipmi_cmd.ini lacks " + std::string(mapQuery ? kAliveQuery : kMapQuery);
        return state;
    }
    QueryDirectory directory;
    if (directory.Path().empty()) {
        state.problem = "cannot make a directory for the queries below /tmp";
        return state;
    }
    {
        std::ofstream catalogue(directory.Path() / "ipmi_cmd.ini");
        if (!(catalogue << *mapQuery << *aliveQuery).flush()) {
            state.problem = "cannot write the queries' catalogue in " + directory.Path().string();
            return state;
        }
    }
    // The transport's retry settings as an update would use them.
    std::error_code missing;
    fs::copy_file(package / "KORIPMIConfig.xml", directory.Path() / "KORIPMIConfig.xml", missing);
    if (!directory.Enter()) {
        state.problem = "cannot enter " + directory.Path().string();
        return state;
    }
    try {
        std::vector<unsigned char> answer;
        const unsigned result = library.RunIpmiCommand(kMapQuery, answer);
        if (result == 0) {
            ReadMap(answer, state);
        } else if (result <= kLargestCompletionCode && result != kSessionRefusal) {
            state.problem = std::string(kMapQuery) + " answered completion code " + Hex(result);
        } else if (result == kSessionRefusal || library.RunIpmiCommand(kAliveQuery, answer) == 0) {
            state.known = state.sessionOpen = true;
        } else {
            state.problem = "the controller does not answer";
        }
    } catch (const std::exception& error) {
        state.problem = std::string("the library threw: ") + error.what();
    }
    return state;
}
