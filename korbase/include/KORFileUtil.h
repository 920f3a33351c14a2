#pragma once
// Static operations on files and directories.

#include <string>
#include <vector>

#include "KORFile.h"
#include "KORString.h"

class KORFileUtil {
public:
    KORFileUtil() = delete;

    static KORString GetSeparator();
    static KORFile GetSystemTempDirectory();
    static KORString GetCurrentExecutablePath(bool withName);
    static bool IsDirectory(const KORString& path);
    // The names of the entries other than directories, as the bytes the
    // directory holds them in (the listing below hands them over as text);
    // false for a directory that cannot be read.
    static bool GetEntryNameBytes(const std::string& directory, std::vector<std::string>& names);
    // Returns 0 after listing, 1 for an empty or unreadable directory.
    static int GetFileNamesInDirectory(const KORString& directory, const KORString& prefix,
                                       const KORString& middle, const KORString& extension,
                                       std::vector<KORString>& names, bool fullPath);
    static std::vector<KORString> GetIllegalCharacters();
    static std::vector<KORString> GetReservedNames();
    static KORFile CreateUniqueDirectory(const KORString& parent, const KORString& prefix);
    static KORFile CreateUniqueTemporaryDirectory();
    static KORFile CreateUniqueFile(const KORString& directory, const KORString& prefix,
                                    const KORString& extension);
    static KORFile CreateUniqueTemporaryFile(const KORString& prefix, const KORString& extension);
    static bool MakeCopyOfFile(const KORFile& source, const KORFile& target, bool refuseExisting);
    static bool MoveFile(const KORFile& source, const KORFile& target, bool refuseExisting);
    static bool RenameFile(KORFile& file, const KORString& newName);
    static bool DeleteDirectory(KORFile& directory, bool self);
    static bool CopyDirectory(const KORFile& from, const KORFile& to, bool useShell,
                              bool overwrite);
    static bool GetFile(const KORString& url, const KORFile& target);
};
