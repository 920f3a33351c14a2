#include "machine_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>

#include "real_files.h"
#include "real_libc.h"
#include "scenario_parser.h"
#include "text_split.h"

namespace sim::core {
namespace {

constexpr char kStateFile[] = "/.machine-state";
constexpr char kLockFile[] = "/.machine-lock";
constexpr char kHeader[] =
    "# What the simulated machine holds, continued by the next process on this sandbox\n";

std::vector<StateHandler>& Handlers() {
    static auto* handlers = new std::vector<StateHandler>;  // outlives every static destructor
    return *handlers;
}

bool Escaped(char c) {
    return c <= ' ' || c > '~' || c == '%' || c == '=';
}

std::string Escape(const std::string& value) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : value) {
        if (!Escaped(c)) {
            text += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        text += '%';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0f];
    }
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> Unescape(const std::string& text) {
    std::string value;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            value += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
        if (low < 0)
            return std::nullopt;
        value += static_cast<char>(high << 4 | low);
        i += 2;
    }
    return value;
}

StateLines ParseLines(const std::string& text) {
    StateLines lines;
    for (const std::string& line : SplitOn(text, '\n')) {
        const size_t equals = line.find(" = ");
        if (line.empty() || line[0] == '#' || equals == std::string::npos)
            continue;
        lines.emplace_back(line.substr(0, equals), line.substr(equals + 3));
    }
    return lines;
}

// The core's own keys: the clock, the trace's numbering, the kernel's
// modules, the HAL daemon and Norb.
void SaveCore(const Machine& machine, StateLines& lines) {
    lines.emplace_back("clock_ns", std::to_string(machine.clockNs));
    lines.emplace_back("trace_seq", std::to_string(machine.nextSeq));
    for (const auto& [name, module] : machine.settings.modules) {
        lines.emplace_back("module " + name, StateRecord()
                                                 .Add("state", module.state)
                                                 .Add("inserted", module.inserted ? 1 : 0)
                                                 .Text());
    }
    if (!machine.settings.haldaemon.empty())
        lines.emplace_back("haldaemon", machine.settings.haldaemon);
    lines.emplace_back("norb", machine.settings.norb);
}

void LoadCore(Machine& machine, const StateLines& lines) {
    std::map<std::string, KernelModule> modules;
    machine.settings.haldaemon.clear();
    for (const auto& [key, value] : lines) {
        if (key == "clock_ns") {
            machine.clockNs = std::strtoull(value.c_str(), nullptr, 10);
        } else if (key == "trace_seq") {
            machine.nextSeq = std::strtoull(value.c_str(), nullptr, 10);
        } else if (key.rfind("module ", 0) == 0) {
            const std::string name = key.substr(7);
            const StateRecord record = StateRecord::Of(value);
            KernelModule& module = modules[name];
            module.state = record.Get("state");
            module.inserted = record.Number("inserted") != 0;
            // How often rmmod still fails is the scenario's behaviour.
            const auto scenario = machine.settings.modules.find(name);
            if (scenario != machine.settings.modules.end())
                module.rmmodFailures = scenario->second.rmmodFailures;
        } else if (key == "haldaemon") {
            machine.settings.haldaemon = value;
        } else if (key == "norb") {
            machine.settings.norb = value;
        }
    }
    machine.settings.modules = std::move(modules);
}

std::string StateText(const Machine& machine) {
    StateLines lines;
    SaveCore(machine, lines);
    for (const StateHandler& handler : Handlers())
        handler.save(lines);
    std::string text = kHeader;
    for (const auto& [key, value] : lines)
        text += key + " = " + value + "\n";
    return text;
}

}  // namespace

void AddStateHandler(StateHandler handler) {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    Handlers().push_back(std::move(handler));
}

void LockStore(Machine& machine) {
    if (machine.storeLock < 0) {
        const std::string path = machine.sandbox + kLockFile;
        machine.storeLock = RealOpen(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (machine.storeLock < 0)
            throw std::runtime_error("simmachine: cannot open " + path);
    }
    while (flock(machine.storeLock, LOCK_EX) != 0 && errno == EINTR) {
    }
}

void UnlockStore(Machine& machine) {
    if (machine.storeLock >= 0)
        flock(machine.storeLock, LOCK_UN);
}

std::optional<std::string> StoredState(const Machine& machine) {
    std::string text;
    if (!files::ReadFile(machine.sandbox + kStateFile, &text))
        return std::nullopt;
    return text;
}

void LoadState(Machine& machine, const std::string& text) {
    const StateLines lines = ParseLines(text);
    LoadCore(machine, lines);
    for (const StateHandler& handler : Handlers())
        handler.load(lines);
    machine.storedText = text;
}

void SaveState(Machine& machine) {
    const std::string text = StateText(machine);
    if (text == machine.storedText)
        return;
    // Replaced whole: a reader never sees half a machine, a killed writer
    // leaves the last whole one.
    const std::string path = machine.sandbox + kStateFile;
    const std::string written = path + ".new";
    if (files::WriteFile(written, text, 0600) &&
        Real().rename(written.c_str(), path.c_str()) == 0) {
        machine.storedText = text;
    }
}

MachineTransaction::MachineTransaction() {
    MachineMutex().lock();
    Machine& machine = RunningMachine();
    if (!machine.kept || machine.transactions++ > 0)
        return;
    LockStore(machine);
    if (const std::optional<std::string> saved = StoredState(machine);
        saved && *saved != machine.storedText)
        LoadState(machine, *saved);
}

MachineTransaction::~MachineTransaction() {
    Machine& machine = RunningMachine();
    if (machine.kept && machine.transactions > 0 && --machine.transactions == 0) {
        SaveState(machine);
        UnlockStore(machine);
    }
    MachineMutex().unlock();
}

void SaveMachineNow() {
    const MachineTransaction transaction;
    Machine& machine = RunningMachine();
    if (machine.kept)
        SaveState(machine);
}

void WithMachineReleased(const std::function<void()>& wait) {
    bool released = false;
    {
        std::lock_guard<std::recursive_mutex> lock(MachineMutex());
        Machine& machine = RunningMachine();
        if (machine.kept && machine.transactions > 0) {
            SaveState(machine);
            UnlockStore(machine);
            released = true;
        }
    }
    wait();
    if (!released)
        return;
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    Machine& machine = RunningMachine();
    LockStore(machine);
    if (const std::optional<std::string> saved = StoredState(machine);
        saved && *saved != machine.storedText)
        LoadState(machine, *saved);
}

StateRecord StateRecord::Of(const std::string& text) {
    StateRecord record;
    for (const std::string& word : SplitOn(text, ' ')) {
        const size_t equals = word.find('=');
        if (equals == std::string::npos)
            return {};
        const std::optional<std::string> value = Unescape(word.substr(equals + 1));
        if (!value)
            return {};
        record.fields_.emplace_back(word.substr(0, equals), *value);
    }
    return record;
}

StateRecord& StateRecord::Add(const std::string& name, const std::string& value) {
    fields_.emplace_back(name, value);
    return *this;
}

StateRecord& StateRecord::Add(const std::string& name, long long value) {
    return Add(name, std::to_string(value));
}

std::string StateRecord::Text() const {
    std::string text;
    for (const auto& [name, value] : fields_)
        text += (text.empty() ? "" : " ") + name + "=" + Escape(value);
    return text;
}

std::string StateRecord::Get(const std::string& name) const {
    for (const auto& [field, value] : fields_) {
        if (field == name)
            return value;
    }
    return "";
}

long long StateRecord::Number(const std::string& name) const {
    long long value = 0;
    return ParseNumber(Get(name), &value) ? value : 0;
}

}  // namespace sim::core
