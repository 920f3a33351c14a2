#pragma once
// Prints the device records an update returned, as text or as JSON, and the
// answer of one IPMI command.

#include <ostream>
#include <string>
#include <vector>

#include "CDeviceInfo.h"

void PrintRecordsAsText(const std::vector<CDeviceInfo*>& records, std::ostream& out);
// Every field of the record. The object opens with the outcome (status,
// messageID, errorMessage) and closes with deviceType, as it always has.
std::string RecordAsJson(CDeviceInfo& record);
void PrintResponse(unsigned int completionCode, const std::vector<unsigned char>& response,
                   std::ostream& out);
