#include "history/history_time.h"

#include <cstdint>
#include <cstdio>

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's
// algorithm): no time zone database and no timegm needed.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

std::string TextOfMilliseconds(std::int64_t ms) {
    const std::int64_t day = ms >= 0 ? ms / 86400000 : (ms - 86399999) / 86400000;
    std::int64_t rest = ms - day * 86400000;
    int y;
    unsigned m, d;
    CivilFromDays(day, y, m, d);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", y, m, d,
                  static_cast<int>(rest / 3600000), static_cast<int>(rest / 60000 % 60),
                  static_cast<int>(rest / 1000 % 60), static_cast<int>(rest % 1000));
    return text;
}

// Reads exactly `width` digits at `p`.
bool Digits(const char*& p, int width, int& value) {
    value = 0;
    for (int i = 0; i < width; ++i, ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
    }
    return true;
}

}  // namespace

std::string UtcText(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    return TextOfMilliseconds(duration_cast<milliseconds>(time.time_since_epoch()).count());
}

std::optional<std::string> TimeBound(const std::string& text, bool isEnd) {
    const char* p = text.c_str();
    int year, month, day, hour = 0, minute = 0, second = 0, millisecond = 0;
    if (!Digits(p, 4, year) || *p++ != '-' || !Digits(p, 2, month) || *p++ != '-' ||
        !Digits(p, 2, day))
        return {};
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] ||
        (month == 2 && day == 29 && !leap))
        return {};
    std::int64_t span = 86400000;  // what the text names, in milliseconds
    int offsetMinutes = 0;
    if (*p == 'T' || *p == ' ') {
        ++p;
        if (!Digits(p, 2, hour) || *p++ != ':' || !Digits(p, 2, minute) || hour > 23 || minute > 59)
            return {};
        span = 60000;
        if (*p == ':') {
            ++p;
            if (!Digits(p, 2, second) || second > 59) return {};
            span = 1000;
            if (*p == '.') {
                ++p;
                int digits = 0;
                for (; *p >= '0' && *p <= '9'; ++p, ++digits)
                    if (digits < 3) millisecond = millisecond * 10 + (*p - '0');
                if (digits == 0) return {};
                for (int i = digits; i < 3; ++i) millisecond *= 10;
                span = 1;
            }
        }
        if (*p == 'Z') {
            ++p;
        } else if (*p == '+' || *p == '-') {
            const int sign = *p++ == '-' ? -1 : 1;
            int oh, om;
            if (!Digits(p, 2, oh) || *p++ != ':' || !Digits(p, 2, om) || oh > 23 || om > 59)
                return {};
            offsetMinutes = sign * (oh * 60 + om);
        }
    }
    if (*p != '\0') return {};
    const std::int64_t ms =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400000 +
        ((hour * 60 + minute - offsetMinutes) * 60 + second) * 1000LL + millisecond;
    return TextOfMilliseconds(isEnd ? ms + span : ms);
}
