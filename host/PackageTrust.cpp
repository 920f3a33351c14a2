#include "PackageTrust.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "PackageFiles.h"

namespace fs = std::filesystem;

namespace {

std::string Mode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Why a user other than root could change the entry, empty when none can.
// In a directory with the sticky bit others may add entries, but neither
// remove nor rename root's: that shields what lies below it.
std::string OwnershipProblem(const struct stat& info, bool stickyShields) {
    if (info.st_uid != 0) {
        return "owned by uid " + std::to_string(info.st_uid) + ", not root";
    }
    const bool shielded = stickyShields && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0;
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !shielded) {
        return std::string("writable by ") +
               ((info.st_mode & S_IWOTH) != 0 ? "every user" : "its group") + " (mode " +
               Mode(info.st_mode) + ")";
    }
    return "";
}

bool Inside(const fs::path& path, const fs::path& directory) {
    const fs::path relative = path.lexically_relative(directory);
    return !relative.empty() && *relative.begin() != "..";
}

class TrustCheck {
public:
    explicit TrustCheck(fs::path package) : m_package(std::move(package)) {}

    std::vector<std::string> Problems() const { return m_problems; }

    // Every directory from / down to the one holding `path` (a resolved path).
    void WayTo(const fs::path& path) {
        for (fs::path directory = path.parent_path();; directory = directory.parent_path()) {
            struct stat info {};
            if (lstat(directory.c_str(), &info) == 0) {
                const std::string problem = OwnershipProblem(info, true);
                if (!problem.empty()) {
                    Add(directory, problem +
                                       ", so its owner or those who may write it can replace " +
                                       path.string());
                }
            }
            if (directory == directory.root_path() || directory.empty()) {
                break;
            }
        }
    }

    // A path of the package: missing is fine (its reader says so), a link
    // must stay inside the package, and what it names must be root's alone.
    void Entry(const fs::path& path) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0) {
            return;
        }
        if (S_ISLNK(info.st_mode)) {
            std::error_code error;
            const fs::path target = fs::weakly_canonical(path, error);
            if (error || !Inside(target, m_package)) {
                Add(path,
                    "a symbolic link out of the package directory, to " +
                        (error ? std::string("a path that cannot be resolved") : target.string()));
                return;
            }
            if (stat(path.c_str(), &info) != 0) {
                return;
            }
        }
        const std::string problem = OwnershipProblem(info, false);
        if (!problem.empty()) {
            Add(path, problem);
        }
    }

    // The directory and everything below it, links not followed.
    void Tree(const fs::path& directory) {
        Entry(directory);
        std::error_code error;
        if (fs::is_symlink(directory, error) || !fs::is_directory(directory, error)) {
            return;
        }
        for (fs::recursive_directory_iterator it(directory, error), end; !error && it != end;
             it.increment(error)) {
            Entry(it->path());
        }
        if (error) {
            Add(directory, "cannot be read through: " + error.message());
        }
    }

private:
    void Add(const fs::path& path, const std::string& reason) {
        m_problems.push_back(path.string() + ": " + reason);
    }

    const fs::path m_package;
    std::vector<std::string> m_problems;
};

}  // namespace

std::vector<std::string> UntrustedPackagePaths(const std::string& packageDirectory,
                                               const std::vector<std::string>& programs) {
    if (geteuid() != 0) {
        return {};
    }
    std::error_code error;
    const fs::path package = fs::canonical(packageDirectory, error);
    if (error) {
        return {packageDirectory + ": cannot be resolved: " + error.message()};
    }
    TrustCheck check(package);
    check.WayTo(package);
    check.Entry(package);
    for (const char* name : PackageFiles::kReadFiles) {
        check.Entry(package / name);
    }
    check.Tree(package / PackageFiles::kPayloadDirectory);
    for (const std::string& program : programs) {
        const fs::path path = fs::absolute(program, error);
        if (Inside(path.lexically_normal(), package)) {
            check.Entry(path);
            continue;
        }
        const fs::path resolved = fs::weakly_canonical(path, error);
        check.WayTo(resolved);
        check.Entry(resolved);
    }
    return check.Problems();
}
