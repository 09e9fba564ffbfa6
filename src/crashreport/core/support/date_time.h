#pragma once
// The report's points in time: days since 1899-12-30 00:00 local time,
// the fraction the time of day; and the local zone's offset.

#include <cstdint>

namespace cv {

// A point in time as days since 1899-12-30 00:00 local time; the fraction
// is the time of day (the form the report's dates and spans are built from).
using TDateTime = double;
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int msec = 0);
struct TDateTimeParts {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, msec = 0;
    int dayOfWeek = 0; // 0 Sunday .. 6 Saturday
};
TDateTimeParts DecodeDateTime(TDateTime value);
TDateTime NowDateTime();
TDateTime UnixTimeToDateTime(int64_t seconds); // to local time

// Local time minus UTC, in hours, rounded to the nearest hour.
int LocalTimeOffsetHours();

} // namespace cv
