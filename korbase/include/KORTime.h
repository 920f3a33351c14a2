#pragma once
// A point in time, in seconds since the Unix epoch, with the date and time
// texts the log uses. The value 0 means "not set".

#include "KORString.h"

class KORTime {
public:
    KORTime();
    explicit KORTime(unsigned long long time);
    KORTime(const KORTime& other);
    KORTime& operator=(const KORTime& other);
    virtual ~KORTime();

    static unsigned long long CurrentTime();

    void SetTime(unsigned long long time);
    unsigned long long GetTime() const;
    // Local time; false, with the value unchanged, for parts out of range.
    // The day is not checked against the month: 31 February becomes 3 March.
    bool SetTime(int year, int month, int day, int hour, int minute, int second);
    // Local-time parts; month 1 to 12, weekday 1 (Sunday) to 7. Null pointers are skipped.
    bool GetTime(int* year, int* month, int* day, int* hour, int* minute, int* second,
                 int* weekday) const;
    bool IsValid() const;

    bool Equals(const KORTime& other) const;
    bool operator==(const KORTime& other) const;
    bool operator!=(const KORTime& other) const;
    bool operator<(const KORTime& other) const;
    bool operator>(const KORTime& other) const;

    // "05:45AM"
    bool TimeToString(KORString& text) const;
    // Numeric "12/8/2026", otherwise "Tuesday, December 08, 2026".
    bool DateToString(KORString& text, bool numeric) const;

private:
    bool LocalTime(struct tm& parts) const;

    unsigned long long m_time;
};
