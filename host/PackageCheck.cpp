#include "PackageCheck.h"

#include <dlfcn.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>

#include "PackageFiles.h"

namespace fs = std::filesystem;

namespace {

using XmlDocument = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

// A parsed document, or null with a problem noted. Never fetches anything.
XmlDocument ReadXml(const fs::path& path, std::vector<std::string>& problems) {
    XmlDocument document(nullptr, xmlFreeDoc);
    if (!fs::is_regular_file(path)) {
        problems.emplace_back(path.filename().string() + " is missing");
        return document;
    }
    document.reset(xmlReadFile(path.c_str(), nullptr,
                               XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!document || xmlDocGetRootElement(document.get()) == nullptr) {
        problems.emplace_back(path.filename().string() + " is not well-formed XML");
        document.reset();
    }
    return document;
}

std::string Attribute(xmlNode* node, const char* name) {
    std::unique_ptr<xmlChar, decltype(xmlFree)> value(
        xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)), xmlFree);
    return value ? reinterpret_cast<const char*>(value.get()) : "";
}

xmlNode* Child(xmlNode* parent, const char* name) {
    for (xmlNode* node = parent == nullptr ? nullptr : parent->children; node != nullptr;
         node = node->next) {
        if (node->type == XML_ELEMENT_NODE &&
            xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(name))) {
            return node;
        }
    }
    return nullptr;
}

std::string Text(xmlNode* node) {
    if (node == nullptr) {
        return "";
    }
    std::unique_ptr<xmlChar, decltype(xmlFree)> text(xmlNodeGetContent(node), xmlFree);
    return text ? reinterpret_cast<const char*>(text.get()) : "";
}

void CheckDescriptor(const fs::path& directory, PackageReport& report) {
    XmlDocument document = ReadXml(directory / "package.xml", report.problems);
    if (!document) {
        return;
    }
    xmlNode* root = xmlDocGetRootElement(document.get());
    if (!xmlStrEqual(root->name, reinterpret_cast<const xmlChar*>("SoftwareComponent"))) {
        report.problems.emplace_back("package.xml does not describe a SoftwareComponent");
        return;
    }
    report.version = Attribute(root, "vendorVersion");
    report.releaseID = Attribute(root, "releaseID");
    report.name = Text(Child(Child(root, "Name"), "Display"));
    report.componentID = Attribute(Child(Child(root, "SupportedDevices"), "Device"), "componentID");
    if (report.componentID.empty()) {
        report.problems.emplace_back("package.xml names no supported device");
    }
    if (!fs::exists(directory / "package.xml.sign")) {
        report.notes.emplace_back(
            "no package.xml.sign: a controller that wants signed packages will refuse it");
    }
}

void CheckErrorCatalogue(const fs::path& directory, PackageReport& report) {
    XmlDocument document = ReadXml(directory / "ErrorCodes.xml", report.problems);
    if (document && Child(xmlDocGetRootElement(document.get()), "ErrorCode") == nullptr) {
        report.problems.emplace_back("ErrorCodes.xml holds no ErrorCode");
    }
}

void CheckTransportSettings(const fs::path& directory, PackageReport& report) {
    if (!fs::exists(directory / "KORIPMIConfig.xml")) {
        report.notes.emplace_back("no KORIPMIConfig.xml: the IPMI transport uses its defaults");
        return;
    }
    ReadXml(directory / "KORIPMIConfig.xml", report.problems);
}

// The catalogue must at least be made of sections and settings.
void CheckCommandCatalogue(const fs::path& directory, PackageReport& report) {
    std::ifstream catalogue(directory / "ipmi_cmd.ini");
    if (!catalogue) {
        report.problems.emplace_back("ipmi_cmd.ini is missing");
        return;
    }
    static const std::regex kSection(R"(\s*\[[^\]]+\]\s*\r?)");
    static const std::regex kLine(R"(\s*(#.*|;.*|[^=\s][^=]*=.*)?\r?)");
    int sections = 0;
    int number = 0;
    for (std::string line; std::getline(catalogue, line);) {
        ++number;
        if (std::regex_match(line, kSection)) {
            ++sections;
        } else if (!std::regex_match(line, kLine)) {
            report.problems.emplace_back("ipmi_cmd.ini line " + std::to_string(number) +
                                         " is neither a section nor a setting");
            return;
        }
    }
    if (sections == 0) {
        report.problems.emplace_back("ipmi_cmd.ini defines no command");
    }
}

void CheckRuleFiles(const fs::path& directory, PackageReport& report) {
    for (const char* name : PackageFiles::kRuleFiles) {
        std::error_code error;
        if (!fs::is_regular_file(directory / name)) {
            report.problems.emplace_back(std::string(name) + " is missing");
        } else if (fs::file_size(directory / name, error) == 0 || error) {
            report.problems.emplace_back(std::string(name) + " is empty");
        }
    }
}

void CheckPayload(const fs::path& directory, const fs::path& programDirectory,
                  PackageReport& report) {
    std::error_code error;
    if (!fs::equivalent(directory, programDirectory, error)) {
        report.problems.emplace_back(
            "the library takes the payload from beside the program (" + programDirectory.string() +
            "), not from " + directory.string() +
            ": copy updatehost and the library into the package directory");
    }
    const fs::path payload = directory / "payload";
    if (!fs::is_directory(payload)) {
        report.problems.emplace_back("the payload directory is missing");
        return;
    }
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(payload, error)) {
        if (entry.is_regular_file(error)) {
            ++report.payloadFiles;
            report.payloadBytes += static_cast<long long>(entry.file_size(error));
        }
    }
    if (report.payloadFiles == 0) {
        report.problems.emplace_back("the payload directory holds no file");
    }
}

// Loading runs only the library's static initialisers: no update, no controller.
void CheckLibrary(const std::string& libraryPath, PackageReport& report) {
    void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        report.problems.emplace_back("the library cannot be loaded: " +
                                     std::string(reason != nullptr ? reason : libraryPath));
        return;
    }
    dlclose(library);
}

}  // namespace

PackageReport CheckPackage(const std::string& packageDirectory, const std::string& programDirectory,
                           const std::string& libraryPath, bool loadLibrary) {
    PackageReport report;
    const fs::path directory(packageDirectory);
    CheckDescriptor(directory, report);
    CheckPayload(directory, programDirectory, report);
    CheckCommandCatalogue(directory, report);
    CheckErrorCatalogue(directory, report);
    CheckTransportSettings(directory, report);
    CheckRuleFiles(directory, report);
    if (loadLibrary) {
        CheckLibrary(libraryPath, report);
    } else {
        report.notes.emplace_back("the library was not loaded: the package is not trusted");
    }
    return report;
}

std::string DescribeUpdate(const PackageReport& report) {
    return "an update would stage " + (report.name.empty() ? "the component" : report.name) +
           " version " + (report.version.empty() ? "(unknown)" : report.version) + " (release " +
           report.releaseID + ", component " + report.componentID + ") with " +
           std::to_string(report.payloadFiles) + " payload file(s), " +
           std::to_string(report.payloadBytes) + " bytes, onto the controller's staging partition";
}
