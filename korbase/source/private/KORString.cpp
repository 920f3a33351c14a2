#include "KORString.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace {

const KORChar kReplacementCharacter = 0xFFFD;

// Characters that make a text unsuitable as a user-entered identifier.
const KORString& SpecialCharacters() {
    static const KORString characters("~`!@#$%^&*()_+{}:\"<>?/.,';][=-|\\");
    return characters;
}

// Characters that no file name of ours may contain.
const KORString& FileNameCharacters() {
    static const KORString characters("\\/:?%*<\">|");
    return characters;
}

bool IsHighSurrogate(KORChar unit) {
    return (unit & 0xFC00) == 0xD800;
}
bool IsLowSurrogate(KORChar unit) {
    return (unit & 0xFC00) == 0xDC00;
}

// Units of the character that starts at index: a surrogate pair counts as one.
unsigned long CharacterLengthAt(const KORUnitString& units, unsigned long index) {
    if (IsHighSurrogate(units[index]) && index + 1 < units.size() &&
        IsLowSurrogate(units[index + 1])) {
        return 2;
    }
    return 1;
}

// Units of the character that ends just before index.
unsigned long CharacterLengthBefore(const KORUnitString& units, unsigned long index) {
    if (index >= 2 && IsLowSurrogate(units[index - 1]) && IsHighSurrogate(units[index - 2])) {
        return 2;
    }
    return 1;
}

bool SetHoldsCharacter(const KORUnitString& set, const KORUnitString& character) {
    for (unsigned long i = 0; i < set.size();) {
        unsigned long length = CharacterLengthAt(set, i);
        if (set.compare(i, length, character) == 0) {
            return true;
        }
        i += length;
    }
    return false;
}

// Decodes without validating continuation bytes, so that whatever a caller
// hands in comes through. A sequence cut short by the end of the text and a
// lead byte 0xF8 to 0xFF cannot be decoded and each become one U+FFFD, so
// that the loss stays visible and the decoder always moves on.
KORUnitString DecodeUTF8(const unsigned char* bytes, size_t n) {
    KORUnitString units;
    units.reserve(n);
    size_t i = 0;
    while (i < n) {
        unsigned b0 = bytes[i];
        if (b0 < 0x80) {
            units.push_back(static_cast<KORChar>(b0));
            i += 1;
        } else if (b0 <= 0xDF) {
            if (i + 1 >= n) {
                units.push_back(kReplacementCharacter);
                break;
            }
            unsigned b1 = bytes[i + 1];
            units.push_back(static_cast<KORChar>(((b0 & 0x1F) << 6) | (b1 & 0x3F)));
            i += 2;
        } else if (b0 <= 0xEF) {
            if (i + 2 >= n) {
                units.push_back(kReplacementCharacter);
                break;
            }
            unsigned b1 = bytes[i + 1];
            unsigned b2 = bytes[i + 2];
            units.push_back(
                static_cast<KORChar>(((b0 & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F)));
            i += 3;
        } else if (b0 <= 0xF7) {
            if (i + 3 >= n) {
                units.push_back(kReplacementCharacter);
                break;
            }
            unsigned b1 = bytes[i + 1];
            unsigned b2 = bytes[i + 2];
            unsigned b3 = bytes[i + 3];
            unsigned plane = ((b0 & 0x07) << 2) | ((b1 & 0x30) >> 4);
            if (plane == 0) {
                // An overlong form of a character below U+10000: one unit.
                units.push_back(
                    static_cast<KORChar>(((b1 & 0x0F) << 12) | ((b2 & 0x3F) << 6) | (b3 & 0x3F)));
            } else if (plane > 16) {
                // Beyond U+10FFFF: UTF-16 has no pair for it.
                units.push_back(kReplacementCharacter);
            } else {
                units.push_back(static_cast<KORChar>(0xD800 | ((plane - 1) << 6) |
                                                     ((b1 & 0x0F) << 2) | ((b2 & 0x30) >> 4)));
                units.push_back(static_cast<KORChar>(0xDC00 | ((b2 & 0x0F) << 6) | (b3 & 0x3F)));
            }
            i += 4;
        } else {
            units.push_back(kReplacementCharacter);
            i += 1;
        }
    }
    return units;
}

// Appends the value formatted with a printf format into a 1024-byte buffer.
template <typename T>
void AppendFormatted(KORUnitString& units, T value, const KORString& format) {
    char buffer[1024];
    std::string formatText = format.GetUTF8String();
    // The format is the caller's by design of this interface, so the compiler
    // cannot check it; snprintf still bounds the output to the buffer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int written = std::snprintf(buffer, sizeof(buffer), formatText.c_str(), value);
#pragma GCC diagnostic pop
    if (written > 0) {
        units += KORString(buffer).Units();
    }
}

}  // namespace

KORString::KORString() {}

KORString::KORString(const KORString& other) : m_units(other.m_units) {}

KORString& KORString::operator=(const KORString& other) {
    m_units = other.m_units;
    return *this;
}

KORString::KORString(const KORUnitString& units) : m_units(units) {}

KORString::KORString(const char* text, KORCharEncodingType encoding) {
    if (text == nullptr) {
        return;
    }
    if (encoding == KOR_ENCODING_BYTES) {
        for (const char* p = text; *p != '\0'; ++p) {
            // Widened as a signed char: bytes 0x80 to 0xFF become 0xFF80 to 0xFFFF.
            m_units.push_back(static_cast<KORChar>(static_cast<signed char>(*p)));
        }
    } else if (encoding == KOR_ENCODING_UTF8) {
        m_units = DecodeUTF8(reinterpret_cast<const unsigned char*>(text), std::strlen(text));
    }
}

KORString::KORString(const std::string& utf8)
    : m_units(DecodeUTF8(reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size())) {}

KORString::KORString(const wchar_t* text) {
    if (text == nullptr) {
        return;
    }
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        m_units.push_back(static_cast<KORChar>(static_cast<unsigned long>(*p) & 0xFFFF));
    }
}

KORString::~KORString() {}

std::string KORString::GetUTF8String() const {
    std::string bytes;
    bytes.reserve(m_units.size());
    for (unsigned long i = 0; i < m_units.size(); ++i) {
        unsigned u = m_units[i];
        if (u < 0x80) {
            bytes.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            bytes.push_back(static_cast<char>(0xC0 + (u >> 6)));
            bytes.push_back(static_cast<char>(0x80 + (u & 0x3F)));
        } else if (CharacterLengthAt(m_units, i) == 2) {
            unsigned next = m_units[++i];
            unsigned plane = ((u >> 6) & 0x0F) + 1;
            bytes.push_back(static_cast<char>(0xF0 + (plane >> 2)));
            bytes.push_back(static_cast<char>(0x80 + (((plane & 3) << 4) | ((u >> 2) & 0x0F))));
            bytes.push_back(static_cast<char>(0x80 + (((u & 3) << 4) | ((next >> 6) & 0x0F))));
            bytes.push_back(static_cast<char>(0x80 + (next & 0x3F)));
        } else {
            bytes.push_back(static_cast<char>(0xE0 + (u >> 12)));
            bytes.push_back(static_cast<char>(0x80 + ((u >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 + (u & 0x3F)));
        }
    }
    return bytes;
}

std::basic_string<wchar_t> KORString::GetWstring() const {
    std::basic_string<wchar_t> wide;
    wide.reserve(m_units.size());
    for (KORChar unit : m_units) {
        wide.push_back(static_cast<wchar_t>(unit));
    }
    return wide;
}

int KORString::GetCString(char* buffer, unsigned long& length) {
    if (buffer == nullptr || length == 0) {
        return 1;
    }
    std::string bytes = GetUTF8String();
    if (bytes.size() >= length) {
        // A cut text could end inside a character or lose a meaningful tail;
        // the caller gets an empty text and the failure instead.
        buffer[0] = '\0';
        return 1;
    }
    std::memcpy(buffer, bytes.c_str(), bytes.size() + 1);
    length = bytes.size();
    return 0;
}

KORString KORString::SubString(unsigned long start, unsigned long count) const {
    if (m_units.empty()) {
        return *this;
    }
    if (start > m_units.size()) {
        throw std::out_of_range("basic_string::substr");
    }
    return KORString(m_units.substr(start, count));
}

KORString& KORString::ReplaceAll(const KORString& pattern, const KORString& replacement) {
    const KORUnitString& what = pattern.m_units;
    if (what.empty()) {
        return *this;
    }
    // Every search notionally starts again at the beginning, so that a
    // replacement that forms a new occurrence with the text before it is
    // replaced too. Nothing before the last replacement's start minus the
    // pattern's length can match anew, so the search resumes there. A
    // replacement holding the pattern would match itself forever: the search
    // then resumes after it instead.
    const bool selfMatching = replacement.m_units.find(what) != KORUnitString::npos;
    unsigned long from = 0;
    unsigned long found;
    while ((found = m_units.find(what, from)) != KORUnitString::npos) {
        m_units.replace(found, what.size(), replacement.m_units);
        if (selfMatching) {
            from = found + replacement.m_units.size();
        } else {
            from = found >= what.size() - 1 ? found - (what.size() - 1) : 0;
        }
    }
    return *this;
}

KORString KORString::TrimWhiteSpaces(const KORString& characters) const {
    const KORUnitString& set = characters.m_units;
    unsigned long begin = 0;
    while (begin < m_units.size()) {
        unsigned long length = CharacterLengthAt(m_units, begin);
        if (!SetHoldsCharacter(set, m_units.substr(begin, length))) {
            break;
        }
        begin += length;
    }
    unsigned long end = m_units.size();
    while (end > begin) {
        unsigned long length = CharacterLengthBefore(m_units, end);
        if (!SetHoldsCharacter(set, m_units.substr(end - length, length))) {
            break;
        }
        end -= length;
    }
    return KORString(m_units.substr(begin, end - begin));
}

bool KORString::ContainsAny(const KORString& characters, unsigned start) const {
    if (characters.m_units.empty() || start >= m_units.size()) {
        return false;
    }
    return m_units.find_first_of(characters.m_units, start) != KORUnitString::npos;
}

bool KORString::ContainsSpecialCharacters() const {
    return ContainsAny(SpecialCharacters(), 0);
}

bool KORString::IsPermissableFileName() const {
    return !m_units.empty() && !ContainsAny(FileNameCharacters(), 0);
}

bool KORString::SubStrings(const KORString& separators, std::vector<KORString>& pieces) const {
    if (separators.m_units.empty()) {
        return false;
    }
    unsigned long start = 0;
    while (start <= m_units.size()) {
        unsigned long end = m_units.find_first_of(separators.m_units, start);
        if (end == KORUnitString::npos) {
            end = m_units.size();
        }
        if (end > start) {
            pieces.emplace_back(m_units.substr(start, end - start));
        }
        start = end + 1;
    }
    return true;
}

bool KORString::AppendNumber(int value, const KORString& format) {
    AppendFormatted(m_units, value, format);
    return true;
}

bool KORString::AppendNumber(long long value, const KORString& format) {
    AppendFormatted(m_units, value, format);
    return true;
}

bool KORString::AppendNumber(int value) {
    m_units += KORString(std::to_string(value)).m_units;
    return true;
}

bool KORString::AppendNumber(long long value) {
    m_units += KORString(std::to_string(value)).m_units;
    return true;
}

bool KORString::AppendUNumber(unsigned int value) {
    m_units += KORString(std::to_string(value)).m_units;
    return true;
}

bool KORString::AppendUNumber(unsigned long long value) {
    m_units += KORString(std::to_string(value)).m_units;
    return true;
}

unsigned int KORString::GetIntValue(std::ios_base& (*manipulator)(std::ios_base&)) const {
    std::wistringstream stream(GetWstring());
    unsigned int value = 0;
    stream >> manipulator >> value;
    return stream.fail() ? 0 : value;
}

double KORString::GetDoubleValue() const {
    std::wistringstream stream(GetWstring());
    double value = 0.0;
    stream >> value;
    return stream.fail() ? 0.0 : value;
}

unsigned long KORString::GetNPos() {
    return static_cast<unsigned long>(-1);
}

unsigned long KORString::Find(const KORString& pattern, unsigned long from) const {
    return m_units.find(pattern.m_units, from);
}

unsigned long KORString::FindLast(const KORString& pattern) const {
    return m_units.rfind(pattern.m_units);
}

KORString& KORString::operator+=(const KORString& other) {
    m_units += other.m_units;
    return *this;
}

KORString operator+(const KORString& left, const KORString& right) {
    KORString result(left);
    result += right;
    return result;
}

KORString operator+(const KORString& left, const char* right) {
    return left + KORString(right);
}

KORString operator+(const char* left, const KORString& right) {
    return KORString(left) + right;
}

KORString operator+(const KORString& left, const wchar_t* right) {
    return left + KORString(right);
}

KORString operator+(const wchar_t* left, const KORString& right) {
    return KORString(left) + right;
}

KORString& operator+=(KORString& left, const char* right) {
    return left += KORString(right);
}

bool operator==(const KORString& left, const char* right) {
    return left == KORString(right);
}

bool operator==(const char* left, const KORString& right) {
    return KORString(left) == right;
}

bool operator==(const KORString& left, const wchar_t* right) {
    return left == KORString(right);
}

bool operator==(const wchar_t* left, const KORString& right) {
    return KORString(left) == right;
}
