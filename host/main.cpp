// updatehost: runs a staged update through the library, or one named IPMI
// command, the way the host firmware-update program does.
//
//   updatehost [--library FILE] [--json] [--updates N]
//                                                   run N updates (default 1) one
//                                                   after the other, print the records
//   updatehost [--library FILE] ipmi COMMAND-NAME   run one catalogue command
//
// The library is looked for beside this program unless --library names it.
// Exit status: 0 success; 1 an update or the command reported a failure;
// 2 bad usage or a library that cannot be loaded; 3 the library threw;
// 4 the library handed out no update object.

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "RecordPrinter.h"
#include "UpdateLibrary.h"

namespace {

const char* const kLibraryFileName = "vaduzivorirezoz.so.20.06.00";

struct Options {
    std::string libraryPath;
    bool json = false;
    int updates = 1;
    std::string ipmiCommand;  // empty: run an update
};

std::string ExecutableDirectory() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return ".";
    }
    std::string text(path, static_cast<size_t>(length));
    size_t slash = text.rfind('/');
    return slash == std::string::npos ? "." : text.substr(0, slash);
}

bool ParseOptions(int argc, char** argv, Options& options) {
    options.libraryPath = ExecutableDirectory() + "/" + kLibraryFileName;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--library" && i + 1 < argc) {
            options.libraryPath = argv[++i];
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--updates" && i + 1 < argc) {
            options.updates = std::atoi(argv[++i]);
            if (options.updates < 1) {
                return false;
            }
        } else if (argument == "ipmi" && i + 1 < argc && options.ipmiCommand.empty()) {
            options.ipmiCommand = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

int RunUpdate(const UpdateLibrary& library, bool json) {
    std::unique_ptr<IDeviceExecution> update(library.CreateUpdate());
    if (!update) {
        std::cerr << "updatehost: the library handed out no update object\n";
        return 4;
    }
    std::vector<CDeviceInfo*> records = update->Update();
    update.reset();
    if (json) {
        PrintRecordsAsJson(records, std::cout);
    } else {
        PrintRecordsAsText(records, std::cout);
    }
    bool succeeded = !records.empty();
    for (CDeviceInfo* record : records) {
        succeeded = succeeded && record->getStatus() == 0;
        delete record;
    }
    return succeeded ? 0 : 1;
}

int RunIpmiCommand(const UpdateLibrary& library, const std::string& name) {
    std::vector<unsigned char> response;
    unsigned int completionCode = library.RunIpmiCommand(name, response);
    PrintResponse(completionCode, response, std::cout);
    return completionCode == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::cerr
            << "usage: updatehost [--library FILE] [--json] [--updates N] [ipmi COMMAND-NAME]\n";
        return 2;
    }
    std::unique_ptr<UpdateLibrary> library;
    try {
        library = std::make_unique<UpdateLibrary>(options.libraryPath);
    } catch (const std::exception& error) {
        std::cerr << "updatehost: " << error.what() << "\n";
        return 2;
    }
    try {
        if (!options.ipmiCommand.empty()) {
            return RunIpmiCommand(*library, options.ipmiCommand);
        }
        // Every update gets an object of its own, as a host that updates
        // several components in one process does.
        int worst = 0;
        for (int update = 0; update < options.updates; ++update) {
            worst = std::max(worst, RunUpdate(*library, options.json));
        }
        return worst;
    } catch (const std::exception& error) {
        std::cerr << "updatehost: the library threw: " << error.what() << "\n";
        return 3;
    }
}
