#include "KORFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <kortest/LinePattern.h>
#include <kortest/TemporaryDirectory.h>
#include <simmachine/SimMachine.h>
#include "DirectoryEntry.h"
#include "KORFileUtil.h"

namespace {

std::vector<std::string> Sorted(const std::vector<KORString>& names) {
    std::vector<std::string> texts;
    texts.reserve(names.size());
    for (const KORString& name : names) {
        texts.push_back(name.GetUTF8String());
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

bool IsDir(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

TEST(KORFile, EmptyPathAnswersNothing) {
    KORFile none;
    EXPECT_FALSE(none.Exists());
    EXPECT_FALSE(none.IsEmpty());
    EXPECT_EQ(none.GetSize(), 0u);
    EXPECT_TRUE(none.GetName().IsEmpty());
    EXPECT_TRUE(none.GetParentPath(true).IsEmpty());
    EXPECT_FALSE(none.ParentExists());
    EXPECT_FALSE(none.IsValidName());
    EXPECT_FALSE(none.Delete());
    EXPECT_FALSE(none.HasPath());
}

TEST(KORFile, NameParts) {
    struct Case {
        const char* path;
        const char* name;
        const char* base;
        const char* extension;
        const char* parent;
        const char* parentWithSeparator;
    } cases[] = {
        {"/work/pkg/package.xml", "package.xml", "package", "xml", "/work/pkg", "/work/pkg/"},
        {"dir/archive.tar.gz", "archive.tar.gz", "archive.tar", "gz", "dir", "dir/"},
        {"/work/payload/", "payload", "payload", "", "/work/payload", "/work/payload/"},
        {"/file", "file", "file", "", "", "/"},
        {"file.txt", "file.txt", "file", "txt", ".", "./"},
        {"/", "", "", "", "", "/"},
    };
    for (const Case& c : cases) {
        KORFile file(KORString(c.path));
        EXPECT_EQ(file.GetName().GetUTF8String(), c.name) << c.path;
        EXPECT_EQ(file.GetBaseName().GetUTF8String(), c.base) << c.path;
        EXPECT_EQ(file.GetExtension().GetUTF8String(), c.extension) << c.path;
        EXPECT_EQ(file.GetParentPath(false).GetUTF8String(), c.parent) << c.path;
        EXPECT_EQ(file.GetParentPath(true).GetUTF8String(), c.parentWithSeparator) << c.path;
    }
    EXPECT_TRUE(KORFile(KORString("a/update.log")).IsValidName());
    EXPECT_FALSE(KORFile(KORString("a/up*date")).IsValidName());
}

TEST(KORFile, NameEditing) {
    KORFile file(KORString("/a/b.txt"));
    EXPECT_TRUE(file.SetExtension("log"));
    EXPECT_EQ(file.GetPath(), "/a/b.log");
    EXPECT_TRUE(file.SetName("c"));
    EXPECT_EQ(file.GetPath(), "/a/c");
    EXPECT_TRUE(file.AppendName("d.xml"));
    EXPECT_EQ(file.GetPath(), "/a/c/d.xml");
    EXPECT_FALSE(file.AppendName("x:y"));
    EXPECT_FALSE(file.AppendName("../e"));
    EXPECT_TRUE(file.RemoveName());
    EXPECT_EQ(file.GetPath(), "/a/c");
    EXPECT_TRUE(file.RemoveName());
    EXPECT_TRUE(file.RemoveName());
    EXPECT_EQ(file.GetPath(), "/");
    KORFile bare(KORString("name"));
    EXPECT_FALSE(bare.RemoveName());
    EXPECT_TRUE(KORFile(KORString("/a/b")).HasValidPath());
    EXPECT_FALSE(KORFile(KORString("/a/b|c")).HasValidPath());
}

TEST(KORFile, SizesAndEmptiness) {
    kortest::TemporaryDirectory temp;
    KORFile directory(KORString(temp.Path()));
    EXPECT_TRUE(directory.IsEmpty());
    for (const char* name : {"a", "b", "c"}) {
        temp.Write(name, "12345");
    }
    EXPECT_EQ(directory.GetSize(), 3u);
    EXPECT_FALSE(directory.IsEmpty());
    KORFile file(KORString(temp.Join("a")));
    EXPECT_EQ(file.GetSize(), 5u);
    temp.Write("empty", "");
    EXPECT_TRUE(KORFile(KORString(temp.Join("empty"))).IsEmpty());
    KORFile missing(KORString(temp.Join("missing")));
    EXPECT_FALSE(missing.Exists());
    EXPECT_TRUE(missing.IsEmpty());
}

TEST(KORFile, IsDirectoryOnlyForDirectories) {
    kortest::TemporaryDirectory temp;
    temp.Write("file", "x");
    std::string socketPath = temp.Join("socket");
    int descriptor = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(descriptor, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof(address.sun_path) - 1);
    ASSERT_EQ(bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);

    EXPECT_TRUE(KORFileUtil::IsDirectory(KORString(temp.Path())));
    EXPECT_TRUE(KORFileUtil::IsDirectory(KORString(temp.Path() + "\\")));
    EXPECT_FALSE(KORFileUtil::IsDirectory(KORString(temp.Join("file"))));
    EXPECT_FALSE(KORFileUtil::IsDirectory(KORString(socketPath)));
    EXPECT_FALSE(KORFileUtil::IsDirectory(KORString(temp.Join("missing"))));
    EXPECT_FALSE(KORFileUtil::IsDirectory(KORString()));
    close(descriptor);
}

TEST(KORFile, CreateTouchAndMakeDirectory) {
    kortest::TemporaryDirectory temp;
    KORFile nested(KORString(temp.Join("x/y/z.txt")));
    EXPECT_FALSE(nested.Create(false));
    EXPECT_TRUE(nested.Create(true));
    EXPECT_TRUE(nested.Exists());
    EXPECT_FALSE(nested.Create(false));

    std::string path = temp.Join("x/y/z.txt");
    struct timespec old[2] = {{1000, 0}, {1000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
    EXPECT_TRUE(nested.Touch());
    struct stat status;
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_GT(status.st_mtime, 1000);
    KORFile missing(KORString(temp.Join("missing")));
    EXPECT_FALSE(missing.Touch());
    EXPECT_FALSE(missing.Exists());
    KORFile directory(KORString(temp.Path()));
    EXPECT_FALSE(directory.Touch());

    KORErrorCodeEnum error = KOR_SUCCESS;
    KORFile deep(KORString(temp.Join("p/q/r")));
    EXPECT_FALSE(deep.MakeDirectory(false, &error));
    EXPECT_EQ(error, KOR_ERROR_PARENT_MISSING);
    EXPECT_TRUE(deep.MakeDirectory(true, &error));
    EXPECT_EQ(error, KOR_SUCCESS);
    EXPECT_TRUE(IsDir(temp.Join("p/q/r")));
    EXPECT_FALSE(deep.MakeDirectory(true, &error));
    EXPECT_EQ(error, KOR_ERROR_ALREADY_EXISTS);
    KORFile none;
    EXPECT_FALSE(none.MakeDirectory(true, &error));
    EXPECT_EQ(error, KOR_ERROR_INVALID_PATH);
}

TEST(KORFile, DeleteAndDeleteDirectory) {
    kortest::TemporaryDirectory temp;
    temp.Write("f", "x");
    EXPECT_TRUE(KORFile(KORString(temp.Join("f"))).Delete());
    EXPECT_FALSE(KORFile(KORString(temp.Join("f"))).Exists());

    ASSERT_EQ(mkdir(temp.Join("full").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(temp.Join("full/sub").c_str(), 0755), 0);
    temp.Write("full/a", "x");
    KORFile full(KORString(temp.Join("full")));
    EXPECT_FALSE(KORFileUtil::DeleteDirectory(full, true));  // not empty: it failed
    EXPECT_TRUE(IsDir(temp.Join("full")));
    EXPECT_FALSE(full.Delete());  // empties it, keeps it
    EXPECT_TRUE(IsDir(temp.Join("full")));
    EXPECT_EQ(full.GetSize(), 0u);
    EXPECT_TRUE(KORFileUtil::DeleteDirectory(full, true));
    EXPECT_FALSE(full.Exists());
    EXPECT_TRUE(KORFileUtil::DeleteDirectory(full, true));  // nothing to remove
}

TEST(KORFileUtil, GetFileNamesInDirectory) {
    kortest::TemporaryDirectory temp;
    for (const char* name : {"update.xml", "Data.XML", "readme.txt", "log_1.txt", "logs"}) {
        temp.Write(name, "x");
    }
    ASSERT_EQ(mkdir(temp.Join("sub.xml").c_str(), 0755), 0);
    struct Case {
        const char* prefix;
        const char* middle;
        const char* extension;
        std::vector<std::string> expected;
    } cases[] = {
        {"", "", "", {"Data.XML", "log_1.txt", "logs", "readme.txt", "update.xml"}},
        {"", "", "XML", {"Data.XML", "update.xml"}},
        {"", "", "xml", {"Data.XML", "update.xml"}},
        {"LOG", "", "", {"log_1.txt", "logs"}},  // matched without the extension
        {"", "me", "", {"readme.txt"}},
        {"log", "", "txt", {"log_1.txt"}},
        {"up", "date", "xml", {"update.xml"}},
        {"none", "", "", {}},
    };
    for (const Case& c : cases) {
        std::vector<KORString> names;
        EXPECT_EQ(KORFileUtil::GetFileNamesInDirectory(KORString(temp.Path()), c.prefix, c.middle,
                                                       c.extension, names, false),
                  0);
        EXPECT_EQ(Sorted(names), c.expected) << c.prefix << "*" << c.middle << "." << c.extension;
    }

    std::vector<KORString> names{KORString("kept")};
    EXPECT_EQ(
        KORFileUtil::GetFileNamesInDirectory(KORString(temp.Path()), "", "", "XML", names, true),
        0);
    EXPECT_EQ(Sorted(names),
              (std::vector<std::string>{temp.Join("Data.XML"), temp.Join("update.xml"), "kept"}));

    names.clear();
    EXPECT_EQ(KORFileUtil::GetFileNamesInDirectory(KORString(), "", "", "", names, false), 1);
    EXPECT_EQ(KORFileUtil::GetFileNamesInDirectory(KORString(temp.Join("missing")), "", "", "",
                                                   names, false),
              1);
    EXPECT_TRUE(names.empty());
}

// File systems that report no entry type still list no directory as a file.
TEST(KORFileUtil, DirectoryEntriesOfUnknownTypeAreAskedAbout) {
    kortest::TemporaryDirectory temp;
    temp.Write("file", "x");
    ASSERT_EQ(mkdir(temp.Join("directory").c_str(), 0755), 0);
    ASSERT_EQ(symlink(temp.Join("directory").c_str(), temp.Join("link").c_str()), 0);
    const struct {
        unsigned char reportedType;
        const char* name;
        bool directory;
    } rows[] = {
        {DT_UNKNOWN, "directory", true}, {DT_UNKNOWN, "file", false}, {DT_UNKNOWN, "link", false},
        {DT_UNKNOWN, "missing", false},  {DT_DIR, "file", true},      {DT_REG, "directory", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(KORDirectoryEntry::IsDirectory(row.reportedType, temp.Join(row.name)),
                  row.directory)
            << static_cast<int>(row.reportedType) << " " << row.name;
    }
}

TEST(KORFileUtil, UniqueDirectoriesAndFilesNeverCollide) {
    kortest::TemporaryDirectory temp;
    kortest::LinePattern shape(
        "pre[0-9a-f]+-4[0-9a-f]{3}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]+4[0-9a-f]{3}");
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        KORFile directory = KORFileUtil::CreateUniqueDirectory(KORString(temp.Path()), "pre");
        ASSERT_TRUE(directory.HasPath());
        EXPECT_TRUE(IsDir(directory.GetPath().GetUTF8String()));
        EXPECT_EQ(directory.GetParentPath(false).GetUTF8String(), temp.Path());
        EXPECT_TRUE(shape.Matches(directory.GetName().GetUTF8String()))
            << directory.GetName().GetUTF8String();
        EXPECT_TRUE(seen.insert(directory.GetPath().GetUTF8String()).second);
    }
    temp.Write("file", "x");
    EXPECT_FALSE(KORFileUtil::CreateUniqueDirectory(KORString(temp.Join("file")), "").HasPath());
    EXPECT_FALSE(KORFileUtil::CreateUniqueDirectory(KORString(), "").HasPath());

    KORFile first = KORFileUtil::CreateUniqueFile(KORString(temp.Path()), "manifest", "xml");
    KORFile second = KORFileUtil::CreateUniqueFile(KORString(temp.Path()), "manifest", "xml");
    ASSERT_TRUE(first.Exists());
    ASSERT_TRUE(second.Exists());
    EXPECT_NE(first, second);
    EXPECT_EQ(first.GetParentPath(false).GetUTF8String(), temp.Path());
    EXPECT_TRUE(kortest::LinePattern("manifest[A-Za-z0-9]{6}\\.xml")
                    .Matches(first.GetName().GetUTF8String()));
    EXPECT_FALSE(KORFileUtil::CreateUniqueFile(KORString(temp.Join("file")), "a", "b").HasPath());
}

TEST(KORFileUtil, CopyMoveAndRename) {
    kortest::TemporaryDirectory temp;
    // Larger than one sendfile round on some kernels.
    std::string content(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i * 7);
    }
    temp.Write("source", content);
    KORFile source(KORString(temp.Join("source")));
    KORFile target(KORString(temp.Join("target")));
    EXPECT_TRUE(KORFileUtil::MakeCopyOfFile(source, target, true));
    EXPECT_EQ(temp.Read("target"), content);
    EXPECT_FALSE(KORFileUtil::MakeCopyOfFile(source, target, true));
    temp.Write("target", "short");
    EXPECT_TRUE(KORFileUtil::MakeCopyOfFile(source, target, false));
    EXPECT_EQ(temp.Read("target"), content);

    EXPECT_FALSE(KORFileUtil::MakeCopyOfFile(source, source, false));
    EXPECT_FALSE(
        KORFileUtil::MakeCopyOfFile(source, KORFile(KORString(temp.Path() + "/./source")), false));
    EXPECT_EQ(temp.Read("source"), content);
    EXPECT_FALSE(
        KORFileUtil::MakeCopyOfFile(KORFile(KORString(temp.Join("missing"))), target, false));
    EXPECT_FALSE(KORFileUtil::MakeCopyOfFile(source, KORFile(KORString(temp.Path())), false));
    EXPECT_FALSE(KORFileUtil::MakeCopyOfFile(KORFile(), target, false));

    KORFile moved(KORString(temp.Join("moved")));
    EXPECT_TRUE(KORFileUtil::MoveFile(target, moved, true));
    EXPECT_FALSE(target.Exists());
    EXPECT_EQ(temp.Read("moved"), content);

    EXPECT_TRUE(KORFileUtil::RenameFile(moved, "renamed"));
    EXPECT_EQ(moved.GetPath().GetUTF8String(), temp.Join("moved"));
    EXPECT_EQ(temp.Read("renamed"), content);
    KORFile renamed(KORString(temp.Join("renamed")));
    EXPECT_FALSE(KORFileUtil::RenameFile(renamed, ""));
    EXPECT_FALSE(KORFileUtil::RenameFile(renamed, "a|b"));
    EXPECT_FALSE(KORFileUtil::RenameFile(moved, "again"));
}

TEST(KORFileUtil, CopyDirectoryWalksTheTreeWithoutAShell) {
    kortest::TemporaryDirectory temp;
    ASSERT_EQ(mkdir(temp.Join("from").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(temp.Join("from/sub dir").c_str(), 0755), 0);
    temp.Write("from/a; touch pwned", "one");
    temp.Write("from/sub dir/$(b)", "two");
    temp.Write("from/.hidden", "three");
    ASSERT_EQ(symlink("a; touch pwned", temp.Join("from/link").c_str()), 0);

    KORFile from(KORString(temp.Join("from")));
    KORFile to(KORString(temp.Join("to/deeper")));
    EXPECT_TRUE(KORFileUtil::CopyDirectory(from, to, true, true));
    EXPECT_EQ(temp.Read("to/deeper/a; touch pwned"), "one");
    EXPECT_EQ(temp.Read("to/deeper/sub dir/$(b)"), "two");
    EXPECT_EQ(temp.Read("to/deeper/.hidden"), "three");
    EXPECT_EQ(temp.Read("to/deeper/link"), "one");
    EXPECT_FALSE(KORFile(KORString("pwned")).Exists());

    temp.Write("to/deeper/.hidden", "changed");
    EXPECT_FALSE(KORFileUtil::CopyDirectory(from, to, false, false));
    EXPECT_EQ(temp.Read("to/deeper/.hidden"), "changed");
    EXPECT_TRUE(KORFileUtil::CopyDirectory(from, to, false, true));
    EXPECT_EQ(temp.Read("to/deeper/.hidden"), "three");

    // Into a directory inside itself: everything else is copied, and it ends.
    KORFile inside(KORString(temp.Join("from/copy")));
    EXPECT_FALSE(KORFileUtil::CopyDirectory(from, inside, false, true));
    EXPECT_EQ(temp.Read("from/copy/sub dir/$(b)"), "two");
    EXPECT_FALSE(IsDir(temp.Join("from/copy/copy")));

    EXPECT_FALSE(
        KORFileUtil::CopyDirectory(KORFile(KORString(temp.Join("none"))), to, false, true));
}

TEST(KORFileUtil, GetFileRunsWgetWithAnArgumentVector) {
    kortest::TemporaryDirectory temp;
    const std::string target = temp.Join("target");
    const std::string url = "http://host/file;touch pwned $(id)";
    // The machine knows no wget: only the download into a file is made to succeed.
    sim::Reset("command wget -O " + target +
               " -- 'http://host/file;touch pwned $(id)' => exit 0\n");
    temp.Write("target", "stale");
    EXPECT_TRUE(KORFileUtil::GetFile(KORString(url), KORFile(KORString(target))));
    EXPECT_FALSE(KORFileUtil::GetFile(KORString("-e x"), KORFile(KORString(temp.Path()))));
    EXPECT_FALSE(KORFileUtil::GetFile(KORString(), KORFile(KORString(temp.Path()))));
    // No shell sees the address; "--" keeps it from being read as an option.
    using Argv = std::vector<std::string>;
    EXPECT_EQ(sim::SpawnedPrograms(),
              (std::vector<Argv>{Argv{"wget", "-O", target, "--", url},
                                 Argv{"wget", "-P", temp.Path(), "--", "-e x"}}));
    EXPECT_EQ(temp.Read("target"), "");  // the stale file went before the download
}

TEST(KORFileUtil, CurrentExecutablePath) {
    std::string withName = KORFileUtil::GetCurrentExecutablePath(true).GetUTF8String();
    std::string directory = KORFileUtil::GetCurrentExecutablePath(false).GetUTF8String();
    EXPECT_EQ(withName.find('\0'), std::string::npos);
    EXPECT_EQ(withName, directory + "/" + KORFile(KORString(withName)).GetName().GetUTF8String());
    EXPECT_EQ(withName.substr(withName.size() - 12), "KORFile_test");
    EXPECT_TRUE(KORFileUtil::IsDirectory(KORString(directory)));
    EXPECT_EQ(KORFileUtil::GetSeparator(), "/");
    EXPECT_EQ(KORFileUtil::GetSystemTempDirectory().GetPath(), "/tmp");
    EXPECT_EQ(KORFileUtil::GetIllegalCharacters().size(), 7u);
    EXPECT_TRUE(KORFileUtil::GetReservedNames().empty());
}

}  // namespace
