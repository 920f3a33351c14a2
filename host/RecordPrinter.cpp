#include "RecordPrinter.h"

#include <cstdio>
#include <string>

namespace {

std::string JsonQuoted(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    quoted += escaped;
                } else {
                    quoted += static_cast<char>(c);
                }
        }
    }
    return quoted + "\"";
}

}  // namespace

void PrintRecordsAsText(const std::vector<CDeviceInfo*>& records, std::ostream& out) {
    if (records.empty()) {
        out << "no device record\n";
    }
    for (CDeviceInfo* record : records) {
        out << "status:         " << record->getStatus() << "\n"
            << "message ID:     " << record->getMessageID() << "\n"
            << "error message:  " << record->getErrorMsg() << "\n"
            << "device name:    " << record->getDeviceName() << "\n"
            << "component type: " << record->getComponentType() << "\n"
            << "component ID:   " << record->getComponentID() << "\n"
            << "version:        " << record->getVersion() << "\n"
            << "device type:    " << static_cast<int>(record->getDeviceType()) << "\n";
    }
}

void PrintRecordsAsJson(const std::vector<CDeviceInfo*>& records, std::ostream& out) {
    out << "[";
    const char* separator = "";
    for (CDeviceInfo* record : records) {
        out << separator << "{\"status\":" << record->getStatus()
            << ",\"messageID\":" << record->getMessageID()
            << ",\"errorMessage\":" << JsonQuoted(record->getErrorMsg())
            << ",\"deviceName\":" << JsonQuoted(record->getDeviceName())
            << ",\"componentType\":" << JsonQuoted(record->getComponentType())
            << ",\"componentID\":" << JsonQuoted(record->getComponentID())
            << ",\"version\":" << JsonQuoted(record->getVersion())
            << ",\"deviceType\":" << static_cast<int>(record->getDeviceType()) << "}";
        separator = ",";
    }
    out << "]\n";
}

void PrintResponse(unsigned int completionCode, const std::vector<unsigned char>& response,
                   std::ostream& out) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%02x", completionCode);
    out << "completion code: " << code << "\nresponse:";
    for (unsigned char byte : response) {
        char text[4];
        std::snprintf(text, sizeof text, " %02x", byte);
        out << text;
    }
    out << "\n";
}
