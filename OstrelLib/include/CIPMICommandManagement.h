#pragma once
// The named controller commands of "ipmi_cmd.ini" and the only way the update
// code talks to the controller: callers fill request fields of a named entry,
// run it with ProcessIPMICommand(name) and read its stored response by
// position. Commands marked IsSessionRequired get the session id from the
// last answer of "BeginOstrelSessionExtend"; commands answered with
// completion code 0x02 are followed by the fixed status poll.
//
// One object serves one thread: it opens the transport session of the
// thread that creates it. Failures record an error code in the error
// catalogue and throw CVEKException.
//
//     CIPMICommandManagement catalogue;  // loads "ipmi_cmd.ini"
//     catalogue.SetIPMIRequest("DynamicPartitionInfo", number, 7, 1);
//     if (catalogue.ProcessIPMICommand("DynamicPartitionInfo") == 0)
//         unsigned units = catalogue.GetIPMIResponse("DynamicPartitionInfo", 6, 2);

#include <map>
#include <string>
#include <vector>

#include "CIPMIDataStructure.h"
#include "KORIPMICommandData.h"

class KORIPMIInterfaceImpl;

namespace IPMIFramework {

class CIPMICommandManagement {
public:
    // The completion code "cannot return the number of requested data
    // bytes": what an answer too short for the field its caller reads counts as.
    static constexpr unsigned char kCompletionShortAnswer = 0xCA;

    // Initializes the transport and loads "ipmi_cmd.ini" from the working
    // directory; code 46, 33 or 31 on failure.
    CIPMICommandManagement();
    ~CIPMICommandManagement();
    CIPMICommandManagement(const CIPMICommandManagement&) = delete;
    CIPMICommandManagement& operator=(const CIPMICommandManagement&) = delete;

    // Adds the commands of a catalogue file; a name already present keeps its
    // entry. A file that cannot be read or holds a malformed entry (code 33),
    // or that yields no command (code 31), adds nothing.
    void LoadIPMIData(const char* path);

    // Runs the named command; returns its final completion code. Throws for
    // an unknown name (76), a missing session (2) or a failed transfer (28).
    unsigned char ProcessIPMICommand(const std::string& name);
    // The same, for a caller that then reads `count` bytes of the answer from
    // `position` on: an answer that reports success but ends before them
    // returns kCompletionShortAnswer, so that the caller takes it for the
    // refusal it is rather than reading the zero fill as a value. The stored
    // answer stays as the controller sent it.
    unsigned char ProcessIPMICommandReading(const std::string& name, int position, int count = 1);
    // One transfer of the request block, followed by the status poll when the
    // controller answers 0x02; false when the transfer failed.
    bool ProcessIPMICommand();

    void SetIPMIRequest(const std::string& name, unsigned int value, int position, int size);
    void SetIPMIRequest(const std::string& name, const std::string& text, unsigned int count,
                        int position);
    CIPMIDataStructure* GetIPMIRequest(const std::string& name);
    std::vector<unsigned char>& GetIPMIResponse(const std::string& name);
    unsigned int GetIPMIResponse(const std::string& name, int position, int count);

    void PopulateSessionValue(CIPMIDataStructure* entry);
    void SetKORIPMICommandData(const CIPMIDataStructure* entry);
    bool PollExecutionStatusForLastIPMICommand(unsigned int& status);
    void LogIPMICommand(const unsigned char* bytes, unsigned int length, const std::string& label);

private:
    // The entry of that name; code 76 when there is none.
    CIPMIDataStructure* FindEntry(const std::string& name);
    // Gives back the transport, the block and the entries; also the
    // constructor's way out when it fails halfway.
    void ReleaseResources();

    KORIPMIInterfaceImpl* m_pIPMIInterface;
    _KORIPMIConfiguration m_stConfiguration;
    _KORIPMICommandData* m_pCommandData;
    std::map<std::string, CIPMIDataStructure*> m_mapIPMICommands;
};

}  // namespace IPMIFramework
