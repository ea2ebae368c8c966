#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

// Seconds since 1970-01-01 00:00 UTC of a civil date and time (proleptic Gregorian).
qint64 UtcFromCivil(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// Whether the date exists (1 <= month <= 12, the day within its month) and the time is one
// of a day (a leap second 60 allowed).
bool IsValidCivil(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// The year, month and day of a UTC time.
void CivilFromUtc(qint64 utc, int& year, int& month, int& day);

// "YYYYMMDDHHMMSS" with an optional ".fraction", as MLSD, MLST and MDTM send it (RFC 3659).
std::optional<qint64> ParseFtpTimestamp(QByteArrayView text);
