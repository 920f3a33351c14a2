#pragma once
// Text of the base and IPMI libraries: UTF-16 code units, turned into UTF-8
// whenever text leaves the process (file names, log lines, command lines).

#include <ios>
#include <string>
#include <vector>

typedef unsigned short KORChar;
typedef std::basic_string<unsigned short> KORUnitString;

// Encoding of the narrow-text constructor: each byte one unit, or UTF-8.
enum KORCharEncodingType { KOR_ENCODING_BYTES = 0, KOR_ENCODING_UTF8 = 1 };

class KORString {
public:
    KORString();
    KORString(const KORString& other);
    KORString& operator=(const KORString& other);
    KORString(const KORUnitString& units);
    // A null pointer, or an encoding other than the two above, gives the empty string.
    KORString(const char* text, KORCharEncodingType encoding = KOR_ENCODING_UTF8);
    KORString(const std::string& utf8);
    KORString(const wchar_t* text);
    virtual ~KORString();

    std::string GetUTF8String() const;
    std::basic_string<wchar_t> GetWstring() const;
    // Writes the UTF-8 text and a NUL into buffer, never more than length bytes.
    // Returns 1 for a null buffer, a zero length or a text that does not fit
    // (then the buffer holds the empty text and the length is unchanged).
    int GetCString(char* buffer, unsigned long& length);

    KORString SubString(unsigned long start, unsigned long count) const;
    KORString& ReplaceAll(const KORString& pattern, const KORString& replacement);
    KORString TrimWhiteSpaces(const KORString& characters) const;
    bool ContainsAny(const KORString& characters, unsigned start) const;
    bool ContainsSpecialCharacters() const;
    bool IsPermissableFileName() const;
    bool SubStrings(const KORString& separators, std::vector<KORString>& pieces) const;

    bool AppendNumber(int value, const KORString& format);
    bool AppendNumber(long long value, const KORString& format);
    bool AppendNumber(int value);
    bool AppendNumber(long long value);
    bool AppendUNumber(unsigned int value);
    bool AppendUNumber(unsigned long long value);
    unsigned int GetIntValue(std::ios_base& (*manipulator)(std::ios_base&)) const;
    double GetDoubleValue() const;

    static unsigned long GetNPos();

    // Plain access used throughout the base library.
    const KORUnitString& Units() const { return m_units; }
    unsigned long Length() const { return m_units.size(); }
    bool IsEmpty() const { return m_units.empty(); }
    unsigned long Find(const KORString& pattern, unsigned long from = 0) const;
    unsigned long FindLast(const KORString& pattern) const;
    KORString& operator+=(const KORString& other);
    bool operator==(const KORString& other) const { return m_units == other.m_units; }
    bool operator!=(const KORString& other) const { return m_units != other.m_units; }
    bool operator<(const KORString& other) const { return m_units < other.m_units; }

private:
    KORUnitString m_units;
};

KORString operator+(const KORString& left, const KORString& right);
KORString operator+(const KORString& left, const char* right);
KORString operator+(const char* left, const KORString& right);
KORString operator+(const KORString& left, const wchar_t* right);
KORString operator+(const wchar_t* left, const KORString& right);
KORString& operator+=(KORString& left, const char* right);
bool operator==(const KORString& left, const char* right);
bool operator==(const char* left, const KORString& right);
bool operator==(const KORString& left, const wchar_t* right);
bool operator==(const wchar_t* left, const KORString& right);
