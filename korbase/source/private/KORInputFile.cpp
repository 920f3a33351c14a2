#include "KORInputFile.h"

#include "KORFile.h"
#include "KORLogger.h"

bool KORInputFileReadable(const KORString& path) {
    const KORFile file(path);
    if (!file.Exists()) {
        KOR_LOG(KOR_LOG_ERROR,
                "Error opening file %s. Check if file does exists in current directory",
                path.GetUTF8String().c_str());
        return false;
    }
    if (file.IsEmpty()) {
        KOR_LOG(KOR_LOG_ERROR, "Input file (%s) is empty.", path.GetUTF8String().c_str());
        return false;
    }
    return true;
}
