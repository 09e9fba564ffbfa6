#include "crashreport/core/support/date_time.h"

#include <cmath>
#include <cstdint>
#include <ctime>

namespace cv {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(int64_t(yoe) + era * 400 + (m <= 2));
}

// 1899-12-30, the day 0 of TDateTime, counted from 1970-01-01.
constexpr int64_t kDateTimeEpochDays = -25569;
constexpr double kMsecPerDay = 86400000.0;

} // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec)
{
    const int64_t days = DaysFromCivil(year, unsigned(month), unsigned(day)) - kDateTimeEpochDays;
    const double time = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec;
    return double(days) + time / kMsecPerDay;
}

TDateTimeParts DecodeDateTime(TDateTime value)
{
    TDateTimeParts parts;
    const auto totalMs = int64_t(std::llround(value * kMsecPerDay));
    int64_t days = totalMs / 86400000;
    int64_t ms = totalMs % 86400000;
    if (ms < 0) {
        ms += 86400000;
        --days;
    }
    CivilFromDays(days + kDateTimeEpochDays, parts.year, parts.month, parts.day);
    parts.hour = int(ms / 3600000);
    parts.minute = int(ms / 60000 % 60);
    parts.second = int(ms / 1000 % 60);
    parts.msec = int(ms % 1000);
    // 1970-01-01 was a Thursday.
    parts.dayOfWeek = int(((days + kDateTimeEpochDays) % 7 + 7 + 4) % 7);
    return parts;
}

TDateTime UnixTimeToDateTime(int64_t seconds)
{
    const auto t = time_t(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec);
}

TDateTime NowDateTime()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return UnixTimeToDateTime(now.tv_sec) + double(now.tv_nsec / 1000000) / kMsecPerDay;
}

int LocalTimeOffsetHours()
{
    const time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return int(std::lround(double(local.tm_gmtoff) / 3600.0));
}

} // namespace cv
