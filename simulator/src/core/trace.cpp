#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "machine.h"
#include "sim_core.h"

namespace sim::core {
namespace {

void AppendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

std::string JsonStringArray(const std::vector<std::string>& texts) {
    std::string out = "[";
    for (const std::string& text : texts) {
        if (out.size() > 1)
            out += ',';
        AppendJsonString(out, text);
    }
    return out + "]";
}

void Trace(const std::string& kind, const std::vector<TraceField>& fields) {
    const int savedErrno = errno;
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    Machine& machine = RunningMachine();
    std::string line = "{\"seq\":" + std::to_string(machine.nextSeq++) +
                       ",\"t_ms\":" + std::to_string(machine.clockNs / 1000000) + ",\"kind\":";
    AppendJsonString(line, kind);
    for (const TraceField& field : fields) {
        line += ',';
        AppendJsonString(line, field.name);
        line += ':';
        if (field.number) {
            line += field.text;
        } else {
            AppendJsonString(line, field.text);
        }
    }
    line += "}\n";
    // One write per line: the trace stays whole when the process dies.
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t written = RealWrite(machine.traceFd, line.data() + done, line.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        done += static_cast<size_t>(written);
    }
    errno = savedErrno;
}

std::string HexBytes(const uint8_t* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0f];
    }
    return text;
}

}  // namespace sim::core
