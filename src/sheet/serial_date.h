#pragma once

#include <string_view>

namespace zandor::sheet {

// Serial dates as the automation interface hands them: days since 30.12.1899, the
// fraction is the time of day.

// Serial of a calendar date (years 1 to 9999); false when the date is not valid.
bool serialFromDate(int year, int month, int day, double* serial);
// ISO 8601 date, date-time or time of day: "2012-03-15", "2012-03-15T08:30:00.5",
// "08:30:00" (a time alone gives a serial below 1). A zone suffix is ignored.
bool serialFromIso(std::string_view text, double* serial);
// ISO 8601 duration "PT08H15M00S" (also with days) as a fraction of days.
bool serialFromDuration(std::string_view text, double* serial);
// A stored spreadsheet serial to an automation serial: the 1904 system is shifted; in the
// 1900 system serials before the phantom 29.02.1900 move one day so the date stays the one
// the sheet shows.
double automationSerial(double stored, bool date1904);

// Whether a number format shows a date or time: built-in ids 14-22, 27-36, 45-47, 50-58,
// or a format code with d, m, y, h or s outside quotes, escapes and [..] sections
// (elapsed-time [h], [m], [s] count).
bool isDateFormat(int numFmtId, std::string_view code);
bool isDateFormatCode(std::string_view code);

}  // namespace zandor::sheet
