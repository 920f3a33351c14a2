#include "KORTime.h"

#include <cstdio>
#include <ctime>
#include <string>

KORTime::KORTime() : m_time(0) {}

KORTime::KORTime(unsigned long long time) : m_time(time) {}

KORTime::KORTime(const KORTime& other) : m_time(other.m_time) {}

KORTime& KORTime::operator=(const KORTime& other) {
    m_time = other.m_time;
    return *this;
}

KORTime::~KORTime() {}

unsigned long long KORTime::CurrentTime() {
    return static_cast<unsigned long long>(time(nullptr));
}

void KORTime::SetTime(unsigned long long time) {
    m_time = time;
}

unsigned long long KORTime::GetTime() const {
    return m_time;
}

bool KORTime::SetTime(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59) {
        return false;
    }
    std::string text = std::to_string(year) + "-" + std::to_string(month) + "-" +
                       std::to_string(day) + " " + std::to_string(hour) + ":" +
                       std::to_string(minute) + ":" + std::to_string(second);
    struct tm parts = {};
    const char* end = strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &parts);
    if (end == nullptr || *end != '\0') {
        return false;
    }
    // Whether daylight saving time applies is for mktime to find out.
    parts.tm_isdst = -1;
    time_t value = mktime(&parts);
    if (value == static_cast<time_t>(-1)) {
        return false;
    }
    m_time = static_cast<unsigned long long>(value);
    return true;
}

bool KORTime::GetTime(int* year, int* month, int* day, int* hour, int* minute, int* second,
                      int* weekday) const {
    struct tm parts;
    if (!LocalTime(parts)) {
        return false;
    }
    if (year != nullptr) {
        *year = parts.tm_year + 1900;
    }
    if (month != nullptr) {
        *month = parts.tm_mon + 1;
    }
    if (day != nullptr) {
        *day = parts.tm_mday;
    }
    if (hour != nullptr) {
        *hour = parts.tm_hour;
    }
    if (minute != nullptr) {
        *minute = parts.tm_min;
    }
    if (second != nullptr) {
        *second = parts.tm_sec;
    }
    if (weekday != nullptr) {
        *weekday = parts.tm_wday + 1;
    }
    return true;
}

bool KORTime::IsValid() const {
    return m_time != 0;
}

bool KORTime::Equals(const KORTime& other) const {
    return m_time == other.m_time;
}

bool KORTime::operator==(const KORTime& other) const {
    return m_time == other.m_time;
}

bool KORTime::operator!=(const KORTime& other) const {
    return m_time != other.m_time;
}

bool KORTime::operator<(const KORTime& other) const {
    return m_time < other.m_time;
}

bool KORTime::operator>(const KORTime& other) const {
    return m_time > other.m_time;
}

bool KORTime::TimeToString(KORString& text) const {
    text = KORString();
    struct tm parts;
    if (!LocalTime(parts)) {
        return false;
    }
    char buffer[100];
    if (strftime(buffer, sizeof(buffer), "%I:%M%p", &parts) == 0) {
        return false;
    }
    text = KORString(buffer);
    return true;
}

bool KORTime::DateToString(KORString& text, bool numeric) const {
    text = KORString();
    struct tm parts;
    if (!LocalTime(parts)) {
        return false;
    }
    if (numeric) {
        text = KORString(std::to_string(parts.tm_mon + 1) + "/" + std::to_string(parts.tm_mday) +
                         "/" + std::to_string(parts.tm_year + 1900));
        return true;
    }
    char buffer[100];
    // The calendar year: the ISO week-based year would call 31 December 2024 2025.
    if (strftime(buffer, sizeof(buffer), "%A, %B %d, %Y", &parts) == 0) {
        return false;
    }
    text = KORString(buffer);
    return true;
}

// localtime_r, since the logger formats times from several threads.
bool KORTime::LocalTime(struct tm& parts) const {
    if (m_time == 0) {
        return false;
    }
    time_t value = static_cast<time_t>(m_time);
    return localtime_r(&value, &parts) != nullptr;
}
