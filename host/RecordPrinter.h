#pragma once
// Prints the device records an update returned, as text or as JSON.

#include <ostream>
#include <vector>

#include "CDeviceInfo.h"

void PrintRecordsAsText(const std::vector<CDeviceInfo*>& records, std::ostream& out);
void PrintRecordsAsJson(const std::vector<CDeviceInfo*>& records, std::ostream& out);
void PrintResponse(unsigned int completionCode, const std::vector<unsigned char>& response,
                   std::ostream& out);
