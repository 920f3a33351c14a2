// Feeds thousands of random and mutated catalogue files to the loader and runs
// whatever it accepted: nothing may crash, read or write out of bounds (the
// sanitizer build checks), or fail other than with the catalogue's codes.
#include <gtest/gtest.h>
#include <kortest/KorLog.h>
#include <simmachine/SimMachine.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CIPMICommandManagement.h"
#include "CatalogueTestSupport.h"
#include "KORLogger.h"

namespace {

using cataloguetest::CatalogueWorkDir;
using cataloguetest::RecordedErrorCode;
using IPMIFramework::CIPMICommandManagement;

constexpr int kFiles = 3000;
// A new catalogue now and then, so that accepted names do not pile up and
// later files still add their entries.
constexpr int kFilesPerCatalogue = 100;

const std::vector<std::string> kNames = {
    "OrinStatus", "BeginOstrelSessionExtend", "EndOstrelSession", "A", " B ", "%s%n%x"};
const std::vector<std::string> kPieces = {"[",
                                          "]",
                                          "=",
                                          "#",
                                          " ",
                                          "\t",
                                          "\r",
                                          "\n",
                                          "\0",
                                          "0x",
                                          "ff",
                                          "1FF",
                                          "zz",
                                          "-1",
                                          "255",
                                          "256",
                                          "4294967298",
                                          "99999999999999999999",
                                          "Command",
                                          "RequestLength",
                                          "ResponseLength",
                                          "IsSessionRequired",
                                          "IsStaticExecution",
                                          "1",
                                          "00",
                                          "30 A1 10 00 00 3C"};

class CatalogueFuzzer {
public:
    explicit CatalogueFuzzer(unsigned seed) : m_random(seed) {
        std::ifstream shipped(std::string(KOR_PACKAGE_DIR) + "/ipmi_cmd.ini", std::ios::binary);
        m_shipped.assign(std::istreambuf_iterator<char>(shipped), {});
    }

    int Number(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(m_random);
    }

    template <typename T>
    const T& Pick(const std::vector<T>& from) {
        return from[static_cast<std::size_t>(Number(0, static_cast<int>(from.size()) - 1))];
    }

    // Either a file built from catalogue-like lines or the shipped file mutated.
    std::string NextFile() { return Number(0, 1) == 0 ? RandomFile() : MutatedFile(); }

private:
    std::string RandomValue() {
        std::string value;
        for (int i = Number(0, 6); i > 0; --i)
            value += Pick(kPieces) + (Number(0, 2) == 0 ? "" : " ");
        if (Number(0, 40) == 0)
            for (int i = Number(200, 400); i > 0; --i)
                value += "0x" + std::to_string(Number(0, 4096)) + " ";
        return value;
    }

    std::string RandomFile() {
        static const std::vector<std::string> kKeys = {"Command", "RequestLength", "ResponseLength",
                                                       "IsSessionRequired", "IsStaticExecution"};
        std::string file;
        for (int section = Number(0, 5); section > 0; --section) {
            file += Number(0, 10) == 0 ? RandomValue() : "[" + Pick(kNames) + "]";
            file += "\n";
            for (int line = Number(0, 7); line > 0; --line)
                file += (Number(0, 8) == 0 ? RandomValue() : Pick(kKeys)) + " = " + RandomValue() +
                        (Number(0, 5) == 0 ? "# note" : "") + "\n";
        }
        return file;
    }

    std::string MutatedFile() {
        std::string file = m_shipped;
        for (int edit = Number(1, 8); edit > 0; --edit) {
            const std::size_t at =
                static_cast<std::size_t>(Number(0, static_cast<int>(file.size())));
            switch (Number(0, 4)) {
                case 0:
                    file.insert(at, Pick(kPieces));
                    break;
                case 1:
                    file.erase(at, static_cast<std::size_t>(Number(1, 40)));
                    break;
                case 2:
                    if (at < file.size())
                        file[at] = static_cast<char>(Number(0, 255));
                    break;
                case 3:
                    file.insert(at, file.substr(at, static_cast<std::size_t>(Number(1, 200))));
                    break;
                default:
                    // Past the parser's line limit.
                    if (Number(0, 30) == 0)
                        file.insert(at, std::string(70 * 1024, 'A'));
                    break;
            }
        }
        return file;
    }

    std::mt19937 m_random;
    std::string m_shipped;
};

// Runs one call; only the catalogue's own failures may come out of it.
template <typename Call>
void ExpectCatalogueOutcome(Call call, const std::string& file, int iteration) {
    try {
        call();
    } catch (const Exception::CVEKException&) {
        const int code = RecordedErrorCode();
        EXPECT_TRUE(code == 2 || code == 28 || code == 31 || code == 33 || code == 76)
            << "code " << code << " at file " << iteration << ":\n"
            << file.substr(0, 2000);
    }
}

TEST(CatalogueFuzz, RandomAndMutatedFilesNeverCrashTheLoaderOrItsUsers) {
    CatalogueWorkDir work;
    sim::Reset();
    CatalogueFuzzer fuzzer(20060);
    std::unique_ptr<CIPMICommandManagement> catalogue;
    int accepted = 0;
    for (int iteration = 0; iteration < kFiles; ++iteration) {
        if (iteration % kFilesPerCatalogue == 0) {
            catalogue.reset();
            sim::Reset();
            catalogue = std::make_unique<CIPMICommandManagement>();
            // Deleting the previous catalogue ended the logger.
            kortest::KorLog::StartInto(work.Path(), "CatalogueFuzz");
        }
        const std::string file = fuzzer.NextFile();
        // A fresh file each time: truncating one in place is slow on ext4,
        // which flushes a truncated file before it is rewritten.
        std::filesystem::remove("fuzz.ini");
        work.Write("fuzz.ini", file);
        bool loaded = false;
        ExpectCatalogueOutcome(
            [&] {
                catalogue->LoadIPMIData("fuzz.ini");
                loaded = true;
            },
            file, iteration);
        if (!loaded)
            continue;
        ++accepted;
        for (int use = 0; use < 3; ++use) {
            const std::string& name = fuzzer.Pick(kNames);
            const int position = fuzzer.Number(-3, 300);
            const int count = fuzzer.Number(-2, 12);
            ExpectCatalogueOutcome(
                [&] {
                    catalogue->SetIPMIRequest(name, 0xBEEFu, position, fuzzer.Number(0, 3));
                    catalogue->SetIPMIRequest(name, std::string("digest"),
                                              static_cast<unsigned int>(count), position);
                    catalogue->ProcessIPMICommand(name);
                    catalogue->GetIPMIResponse(name, position, count);
                },
                file, iteration);
        }
    }
    catalogue.reset();
    KORLogger::Terminate();
    // Both kinds of file reach the loader's acceptance and its refusals.
    EXPECT_GT(accepted, kFiles / 20);
    EXPECT_LT(accepted, kFiles - kFiles / 20);
}

}  // namespace
