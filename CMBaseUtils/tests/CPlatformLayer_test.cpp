#include "CPlatformLayer.h"

#include <gtest/gtest.h>
#include <simmachine/SimMachine.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <kortest/PlantedFiles.h>
#include <kortest/TemporaryDirectory.h>
#include "BaseUtilsLog.h"

namespace {

class CPlatformLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        BaseUtilsLog().Skip();
    }
    static std::vector<std::string> Messages() { return BaseUtilsLog().Take(); }
};

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST_F(CPlatformLayerTest, CommandsRunAsGivenOrInTheBackground) {
    CPlatformLayer::ExecuteCmd("some-tool --flag", false, 0);
    CPlatformLayer::ExecuteCmdNoWait("other-tool", false, 0);
    EXPECT_EQ(sim::ShellCommands(), (std::vector<std::string>{"some-tool --flag", "other-tool &"}));
}

TEST_F(CPlatformLayerTest, SleepsWholeSecondsAndNeverANegativeCount) {
    CPlatformLayer::Sleep(3);
    CPlatformLayer::Sleep(0);
    CPlatformLayer::Sleep(-2);
    EXPECT_EQ(sim::SleepsMs(), (std::vector<uint64_t>{3000}));
}

TEST_F(CPlatformLayerTest, DirectoriesEndInASlash) {
    kortest::TemporaryDirectory directory;
    directory.Enter();
    const std::string current = std::filesystem::current_path().string() + "/";
    EXPECT_EQ(CPlatformLayer::getCurrentDirectory(), current);

    const std::string executableDirectory =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/";
    EXPECT_EQ(CPlatformLayer::getCurrentProcessDirectory(), executableDirectory);

    EXPECT_FALSE(CPlatformLayer::setCurrentDirectory(directory.Path() + "/missing"));
    EXPECT_EQ(CPlatformLayer::getCurrentDirectory(), current);
    EXPECT_TRUE(CPlatformLayer::setCurrentDirectory("/"));
    EXPECT_EQ(CPlatformLayer::getCurrentDirectory(), "//");
}

// A file or a directory exists; what cannot be opened for reading without
// waiting (or acting on a device) counts as absent, found without opening it.
TEST_F(CPlatformLayerTest, FileTestsFindFilesAndDirectoriesWithoutOpeningAndLogTheOutcome) {
    kortest::TemporaryDirectory directory;
    directory.Enter();
    directory.Write("vekdebuglog", "");
    const std::string current = CPlatformLayer::getCurrentDirectory();

    EXPECT_TRUE(CPlatformLayer::IsFileExits("vekdebuglog"));
    EXPECT_FALSE(CPlatformLayer::IsFileExits("package.xml"));
    EXPECT_TRUE(CPlatformLayer::IsFileExistsAbs(directory.Path()));
    EXPECT_EQ(Messages(),
              (std::vector<std::string>{
                  "CLinuxImpl::IsFileExistsAbs() File name " + current + "vekdebuglog exist",
                  "CLinuxImpl::IsFileExistsAbs() File name " + current + "package.xml doesnt exist",
                  "CLinuxImpl::IsFileExistsAbs() File name " + directory.Path() + " exist"}));
    for (const kortest::PlantedKind& planted : kortest::PlantedKinds()) {
        kortest::Plant(directory.Join("package.xml"), planted.kind);
        const kortest::HangGuard guard;
        EXPECT_EQ(CPlatformLayer::IsFileExits("package.xml"),
                  planted.kind == kortest::Planted::Directory)
            << planted.typeName;
    }
}

TEST_F(CPlatformLayerTest, FileListNamesEveryEntryButTheDots) {
    kortest::TemporaryDirectory directory;
    directory.Write("a.bin", "");
    directory.Write("b.xml", "");
    std::filesystem::create_directory(directory.Path() + "/sub");
    kortest::TemporaryDirectory empty;

    const struct {
        std::string directory;
        std::vector<std::string> files;
    } rows[] = {
        {directory.Path(),
         {directory.Path() + "/a.bin", directory.Path() + "/b.xml", directory.Path() + "/sub"}},
        {empty.Path(), {}},
        {directory.Path() + "/missing", {}},
        {directory.Path() + "/a.bin", {}},
    };
    for (const auto& row : rows) {
        std::string argument = row.directory;
        EXPECT_EQ(Sorted(CPlatformLayer::GetFileList(argument)), row.files) << row.directory;
        EXPECT_EQ(argument, row.directory);
    }

    directory.Enter();
    std::string workingDirectory;
    EXPECT_EQ(Sorted(CPlatformLayer::GetFileList(workingDirectory)),
              (std::vector<std::string>{"./a.bin", "./b.xml", "./sub"}));
}

TEST_F(CPlatformLayerTest, LibrariesLoadByBareNameOrByAnExistingPath) {
    void* math = CPlatformLayer::Load_Library("libm.so.6");
    ASSERT_NE(math, nullptr);
    EXPECT_NE(CPlatformLayer::GetProcAddress(math, "cos"), nullptr);
    EXPECT_EQ(CPlatformLayer::GetProcAddress(math, "no_such_symbol"), nullptr);
    EXPECT_EQ(CPlatformLayer::GetProcAddress(nullptr, "cos"), nullptr);
    CPlatformLayer::FreeLibrary(math);
    CPlatformLayer::FreeLibrary(nullptr);

    const std::string simulator = KOR_BINARY_DIR "/simulator/libsimmachine.so";
    void* byPath = CPlatformLayer::Load_Library_without_Customization(simulator);
    EXPECT_NE(byPath, nullptr);
    CPlatformLayer::FreeLibrary(byPath);

    kortest::TemporaryDirectory directory;
    const std::string missing = directory.Path() + "/libmissing.so";
    EXPECT_EQ(CPlatformLayer::Load_Library(missing), nullptr);
    EXPECT_EQ(Messages(),
              (std::vector<std::string>{
                  "CLinuxImpl::IsFileExistsAbs() File name " + simulator + " exist",
                  "CLinuxImpl::IsFileExistsAbs() File name " + missing + " doesnt exist"}));
}

TEST_F(CPlatformLayerTest, DebugLogMarkerIsCreatedEmpty) {
    kortest::TemporaryDirectory directory;
    directory.Enter();
    directory.Write("vekdebuglog", "left over");
    EXPECT_TRUE(CPlatformLayer::CreateEmptyVEKDebuLogFile());
    EXPECT_EQ(std::filesystem::file_size(directory.Path() + "/vekdebuglog"), 0u);
}
