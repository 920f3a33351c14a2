#pragma once
// A path value: names a file or directory and answers questions about it.
// An empty path never exists; every query on it answers false, 0 or "".

#include "KORString.h"

enum KORErrorCodeEnum {
    KOR_SUCCESS = 0,
    KOR_ERROR_INVALID_PATH = 1,
    KOR_ERROR_ALREADY_EXISTS = 2,
    KOR_ERROR_PARENT_MISSING = 3,
    KOR_ERROR_CREATE_FAILED = 4
};

class KORFile {
public:
    KORFile();
    KORFile(const KORString& path);
    KORFile(const KORFile& other);
    KORFile& operator=(const KORFile& other);
    virtual ~KORFile();

    void SetPath(const KORString& path);
    KORString GetPath() const;

    bool Exists() const;
    unsigned long long GetSize() const;
    bool IsEmpty() const;
    KORString GetName() const;
    KORString GetBaseName() const;
    KORString GetExtension() const;
    KORString GetParentPath(bool withSeparator) const;
    bool ParentExists() const;
    bool IsValidName() const;

    bool Delete() const;
    bool Create(bool makeParents);
    bool Touch();
    bool MakeDirectory(bool makeParents, KORErrorCodeEnum* error);
    bool SetName(const KORString& name);
    bool AppendName(const KORString& name);
    bool RemoveName();
    bool SetExtension(const KORString& extension);
    bool HasPath() const;
    bool HasValidPath() const;
    bool operator==(const KORFile& other) const;
    bool operator!=(const KORFile& other) const;

    // Kept for interface completeness; they hold no state on Linux.
    bool IsOpen() const;
    bool CanOpen() const;
    bool SetTime(unsigned long long time);
    unsigned long long GetTime() const;
    bool ResolveAlias();
    bool ResolvePathAliases();
    bool SetBool(bool value);
    bool GetBool() const;

private:
    KORString m_path;
};
