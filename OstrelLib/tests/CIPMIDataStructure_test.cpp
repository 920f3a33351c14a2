#include "CIPMIDataStructure.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Tokenizer.h"

namespace {

using Bytes = std::vector<unsigned char>;
using IPMIFramework::CIPMIDataStructure;

TEST(Tokenizer, ReadsEachTokenInTheBaseAndCutsItToAByte) {
    struct Row {
        const char* text;
        Bytes bytes;
    };
    const Row rows[] = {
        {"30 0x01 ff 1FF zz", {0x30, 0x01, 0xFF, 0xFF, 0x00}},
        {"  30\tA1  \t10\r", {0x30, 0xA1, 0x10}},
        {"12ab 7g", {0xAB, 0x07}},
        {"-1 ffffffffffffffffffffffff", {0xFF, 0xFF}},
        {"UNKNOWN", {0x00}},
        {"", {}},
    };
    for (const Row& row : rows) {
        Bytes bytes;
        IPMIFramework::Tokenizer<unsigned char>(row.text, bytes, 16);
        EXPECT_EQ(bytes, row.bytes) << row.text;
    }
}

CIPMIDataStructure EntryWith(const char* command, const Bytes& response = {}) {
    CIPMIDataStructure entry;
    entry.SetIPMIRequestFields(command);
    entry.m_vecIPMIResponse = response;
    return entry;
}

TEST(CIPMIDataStructure, RequestFieldsAreWrittenOnlyWhereTheEntryHasBytes) {
    struct Row {
        const char* what;
        int position;
        int size;
        Bytes request;
    };
    const Row rows[] = {
        {"size 1", 3, 1, {0x30, 0xA1, 0x34, 0x00, 0x00}},
        {"size 2 little-endian", 4, 2, {0x30, 0xA1, 0x00, 0x34, 0x12}},
        {"other size", 3, 3, {0x30, 0xA1, 0x00, 0x00, 0x00}},
        {"last byte", 5, 1, {0x30, 0xA1, 0x00, 0x00, 0x34}},
        {"second byte beyond the end", 5, 2, {0x30, 0xA1, 0x00, 0x00, 0x00}},
        {"position 0", 0, 1, {0x30, 0xA1, 0x00, 0x00, 0x00}},
        {"negative position", -7, 2, {0x30, 0xA1, 0x00, 0x00, 0x00}},
        {"far beyond", 2147483647, 2, {0x30, 0xA1, 0x00, 0x00, 0x00}},
    };
    for (const Row& row : rows) {
        CIPMIDataStructure entry = EntryWith("30 A1 00 00 00");
        entry.SetIPMIRequestFields(0x1234u, row.position, row.size);
        EXPECT_EQ(entry.m_vecIPMIRequest, row.request) << row.what;
    }
}

TEST(CIPMIDataStructure, ResponseFieldsReadLittleEndianAndZeroBeyondTheStoredBytes) {
    const CIPMIDataStructure entry =
        EntryWith("30 A1", {0x31, 0xA1, 0x00, 0x34, 0x12, 0x78, 0x56, 0x9A});
    struct Row {
        int position;
        int count;
        unsigned int value;
    };
    const Row rows[] = {
        {4, 2, 0x1234},
        {3, 1, 0x00},
        {4, 4, 0x56781234},
        {4, 0, 0},
        {4, -3, 0},
        {8, 2, 0x9A},
        {9, 1, 0},
        {0, 2, 0x3100},
        {-5, 4, 0},
        {2147483647, 4, 0},
        // Only four bytes fit the result.
        {4, 9, 0x56781234},
    };
    for (const Row& row : rows)
        EXPECT_EQ(entry.GetResponseField(row.position, row.count), row.value)
            << "position " << row.position << " count " << row.count;
}

TEST(CIPMIDataStructure, CopiesAnotherEntrysResponseIntoTheRequest) {
    const CIPMIDataStructure session = EntryWith("30 A1 10", {0x31, 0xA1, 0x00, 0x34, 0x12});
    CIPMIDataStructure entry = EntryWith("30 A1 11 00 00");
    entry.SetIPMIRequestFields(4, 2, &session, 4);
    EXPECT_EQ(entry.m_vecIPMIRequest, (Bytes{0x30, 0xA1, 0x11, 0x34, 0x12}));

    // Source bytes beyond its response read as 0; a target that does not fit is untouched.
    entry.SetIPMIRequestFields(4, 2, &session, 5);
    EXPECT_EQ(entry.m_vecIPMIRequest, (Bytes{0x30, 0xA1, 0x11, 0x12, 0x00}));
    entry.SetIPMIRequestFields(5, 2, &session, 4);
    entry.SetIPMIRequestFields(1, 1, nullptr, 1);
    EXPECT_EQ(entry.m_vecIPMIRequest, (Bytes{0x30, 0xA1, 0x11, 0x12, 0x00}));
}

}  // namespace
