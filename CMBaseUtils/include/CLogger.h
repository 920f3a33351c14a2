#pragma once
// The simple logger of the package descriptor, the device record and the
// platform layer: one file ("baseutils.log"), one line per message, flushed
// at once. Nothing is written until Initialize has opened the file, which
// must be a regular file (KORLogFile.h).
//
// Log through CLOG so that the call site's file and line are filled in:
//     CLOG("CLinuxImpl::unloadUSB is not required.");
//     CLOG(stream);  // an std::ostringstream, emptied for reuse

#include <sstream>
#include <string>

#include "KORHandles.h"

class CLogger {
public:
    // "vekdebuglog": the marker in the working directory that switches logging on.
    static const std::string strEnableLogFileName;
    // "baseutils.log": the file this logger writes.
    static const std::string strBaseUtilsLogFileName;

    static CLogger* GetInstance();

    // Opens (and empties) the file once; true only when already initialised.
    bool Initialize(const std::string& path);
    void log(const char* file, unsigned line, const std::string& message);
    // Writes the stream's text and empties the stream so the caller can reuse it.
    void log(const char* file, unsigned line, std::ostringstream& message);
    static std::string getFileName(const std::string& path);

private:
    CLogger();
    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;

    static CLogger* m_ptrInstance;

    KORHandles::File m_stream;
    std::string m_strFileName;
    bool m_bInitialized;
};

#define CLOG(message) CLogger::GetInstance()->log(__FILE__, __LINE__, (message))
