#include "inet/ftptime.h"

namespace {

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days since 1970-01-01 (H. Hinnant's civil calendar algorithm).
qint64 DaysFromCivil(qint64 year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<qint64>(dayOfEra) - 719468;
}

bool ReadDigits(QByteArrayView text, qsizetype at, int count, int& value)
{
    value = 0;
    for (int i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

} // namespace

qint64 UtcFromCivil(int year, int month, int day, int hour, int minute, int second)
{
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
           hour * 3600 + minute * 60 + second;
}

bool IsValidCivil(int year, int month, int day, int hour, int minute, int second)
{
    return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month) && hour >= 0 &&
           hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 60;
}

void CivilFromUtc(qint64 utc, int& year, int& month, int& day)
{
    qint64 days = utc / 86400;
    if (utc % 86400 < 0)
        --days;
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<qint64>(yearOfEra) + era * 400 + (month <= 2));
}

std::optional<qint64> ParseFtpTimestamp(QByteArrayView text)
{
    if (text.size() < 14)
        return std::nullopt;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!ReadDigits(text, 0, 4, year) || !ReadDigits(text, 4, 2, month) ||
        !ReadDigits(text, 6, 2, day) || !ReadDigits(text, 8, 2, hour) ||
        !ReadDigits(text, 10, 2, minute) || !ReadDigits(text, 12, 2, second))
        return std::nullopt;
    if (text.size() > 14) {
        if (text[14] != '.' || text.size() == 15)
            return std::nullopt;
        for (qsizetype i = 15; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9')
                return std::nullopt;
        }
    }
    if (!IsValidCivil(year, month, day, hour, minute, second))
        return std::nullopt;
    return UtcFromCivil(year, month, day, hour, minute, second > 59 ? 59 : second);
}
