#include "inet/listingparser.h"

#include "inet/listingreader.h"

#include "inet/ftpreplyparsers.h"
#include "inet/ftptext.h"
#include "inet/ftptime.h"

#include <array>

namespace {

constexpr qint64 kFutureAllowance = 86400;

struct Token
{
    qsizetype begin = 0;
    qsizetype end = 0;
};

// The first `limit` blank-separated words of a line, with their positions.
struct Tokens
{
    static constexpr int kLimit = 24;
    std::array<Token, kLimit> items;
    int count = 0;

    Tokens(QByteArrayView line)
    {
        qsizetype i = 0;
        const qsizetype n = line.size();
        while (count < kLimit) {
            while (i < n && (line[i] == ' ' || line[i] == '\t'))
                ++i;
            if (i >= n)
                break;
            const qsizetype begin = i;
            while (i < n && line[i] != ' ' && line[i] != '\t')
                ++i;
            items[count++] = Token{begin, i};
        }
    }
};

QByteArrayView Text(QByteArrayView line, const Token& token)
{
    return line.sliced(token.begin, token.end - token.begin);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool AllDigits(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (!IsDigit(c))
            return false;
    }
    return true;
}

// 1..maxDigits digits as a number, or -1.
int SmallNumber(QByteArrayView text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits || !AllDigits(text))
        return -1;
    int value = 0;
    for (const char c : text)
        value = value * 10 + (c - '0');
    return value;
}

int MonthOf(QByteArrayView text)
{
    static constexpr const char* names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};
    if (text.size() != 3)
        return 0;
    char lower[3];
    for (int i = 0; i < 3; ++i)
        lower[i] = static_cast<char>(text[i] | 0x20);
    for (int m = 0; m < 12; ++m) {
        if (lower[0] == names[m][0] && lower[1] == names[m][1] && lower[2] == names[m][2])
            return m + 1;
    }
    return 0;
}

// "H:MM", "HH:MM" or "HH:MM:SS".
bool ReadClock(QByteArrayView text, int& hour, int& minute, int& second)
{
    const qsizetype colon = text.indexOf(':');
    if (colon < 1)
        return false;
    hour = SmallNumber(text.first(colon), 2);
    QByteArrayView rest = text.sliced(colon + 1);
    second = 0;
    const qsizetype colon2 = rest.indexOf(':');
    if (colon2 >= 0) {
        second = SmallNumber(rest.sliced(colon2 + 1), 2);
        rest = rest.first(colon2);
    }
    minute = rest.size() == 2 ? SmallNumber(rest, 2) : -1;
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

// "YYYY-MM-DD".
bool ReadIsoDate(QByteArrayView text, int& year, int& month, int& day)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    year = SmallNumber(text.first(4), 4);
    month = SmallNumber(text.sliced(5, 2), 2);
    day = SmallNumber(text.sliced(8, 2), 2);
    return year >= 0 && IsValidCivil(year, month, day);
}

// The latest year that puts month/day hour:minute no more than a day after `now`.
std::optional<qint64> InferYear(int month, int day, int hour, int minute, qint64 now)
{
    int nowYear = 0, nowMonth = 0, nowDay = 0;
    CivilFromUtc(now, nowYear, nowMonth, nowDay);
    // Eight years back always reach a 29 February.
    for (int year = nowYear + 1; year >= nowYear - 8; --year) {
        if (!IsValidCivil(year, month, day, hour, minute))
            continue;
        const qint64 time = UtcFromCivil(year, month, day, hour, minute);
        if (time <= now + kFutureAllowance)
            return time;
    }
    return std::nullopt;
}

// Fills name and rawName; false when the name must not be used.
bool TakeName(FtpListEntry& entry, QByteArrayView raw)
{
    if (raw.isEmpty() || raw.contains('/') || raw.contains('\0'))
        return false;
    entry.rawName = raw.toByteArray();
    entry.name = DecodeServerText(raw);
    return !HasControlCharacter(entry.name);
}

// "rwxr-x---" (with s, S, t, T) as permission bits; -1 for anything else.
int PermissionBits(QByteArrayView nine)
{
    int bits = 0;
    for (int i = 0; i < 9; ++i) {
        const char c = nine[i];
        const int position = 8 - i;
        const int kind = i % 3; // 0 read, 1 write, 2 execute
        if (c == '-')
            continue;
        if ((kind == 0 && c == 'r') || (kind == 1 && c == 'w'))
            bits |= 1 << position;
        else if (kind == 2 && (c == 'x' || c == 's' || c == 't'))
            bits |= 1 << position;
        else if (kind == 2 && (c == 'S' || c == 'T' || c == 'l' || c == 'L'))
            continue; // set-id or sticky without execute; "l" is mandatory locking
        else
            return -1;
    }
    return bits;
}

std::optional<FtpListEntry> ParseUnixLine(QByteArrayView line, qint64 now)
{
    const Tokens tokens(line);
    if (tokens.count < 4)
        return std::nullopt;
    const QByteArrayView mode = Text(line, tokens.items[0]);
    if (mode.size() < 10 || mode.size() > 11)
        return std::nullopt;
    const char type = mode[0];
    if (!QByteArrayView("-dlcbpsDnw?").contains(type))
        return std::nullopt;
    const int permissions = PermissionBits(mode.sliced(1, 9));
    if (permissions < 0)
        return std::nullopt;
    if (mode.size() == 11 && !QByteArrayView("+.@").contains(mode[10]))
        return std::nullopt;

    FtpListEntry entry;
    entry.permissions = permissions;
    entry.isDirectory = type == 'd';
    entry.isNormal = type == '-';
    entry.isLink = type == 'l';
    const bool device = type == 'c' || type == 'b';

    // The date is the anchor: the size stands before it and the name after it, whatever
    // number of owner and group columns precede. At least an owner stands between the mode
    // and the size, so an owner named like a month is never taken for the date.
    for (int i = 3; i + 1 < tokens.count; ++i) {
        const QByteArrayView first = Text(line, tokens.items[i]);
        const QByteArrayView second = Text(line, tokens.items[i + 1]);
        int timeEnd = -1;
        std::optional<qint64> time;
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, secs = 0;
        if (ReadIsoDate(first, year, month, day)) {
            if (!ReadClock(second, hour, minute, secs))
                continue;
            time = UtcFromCivil(year, month, day, hour, minute, secs);
            timeEnd = i + 1;
        } else if ((month = MonthOf(first)) != 0 && i + 2 < tokens.count) {
            day = SmallNumber(second, 2);
            if (day < 1 || day > 31)
                continue;
            const QByteArrayView third = Text(line, tokens.items[i + 2]);
            if (third.size() == 4 && AllDigits(third)) {
                year = SmallNumber(third, 4);
                if (!IsValidCivil(year, month, day))
                    continue;
                time = UtcFromCivil(year, month, day);
            } else if (ReadClock(third, hour, minute, secs)) {
                time = InferYear(month, day, hour, minute, now);
            } else {
                continue;
            }
            timeEnd = i + 2;
        } else {
            continue;
        }
        if (!time)
            return std::nullopt;

        const QByteArrayView sizeText = Text(line, tokens.items[i - 1]);
        if (device) {
            // "major, minor" (or "major,minor") stands in place of the size
            if (!AllDigits(sizeText) && !sizeText.contains(','))
                continue;
        } else {
            const std::optional<quint64> size = ParseUnsigned(sizeText);
            if (!size)
                continue;
            entry.size = *size;
        }
        entry.writeTime = *time;

        // The name starts one blank after the time, so leading blanks of a name survive.
        const qsizetype nameStart = tokens.items[timeEnd].end + 1;
        if (nameStart >= line.size())
            return std::nullopt;
        QByteArrayView name = line.sliced(nameStart);
        if (type == 'l') {
            const qsizetype arrow = name.indexOf(" -> ");
            if (arrow >= 0)
                name = name.first(arrow);
        }
        if (!TakeName(entry, name))
            return std::nullopt;
        return entry;
    }
    return std::nullopt;
}

// "MM-DD-YY", "MM-DD-YYYY" (or with "/").
bool ReadDosDate(QByteArrayView text, int& year, int& month, int& day)
{
    if ((text.size() != 8 && text.size() != 10) || !(text[2] == '-' || text[2] == '/') ||
        text[5] != text[2])
        return false;
    month = SmallNumber(text.first(2), 2);
    day = SmallNumber(text.sliced(3, 2), 2);
    year = SmallNumber(text.sliced(6), 4);
    if (year < 0)
        return false;
    if (text.size() == 8)
        year += year < 70 ? 2000 : 1900;
    return IsValidCivil(year, month, day);
}

// "HH:MMAM", "HH:MMPM" or "HH:MM"; `suffix` is a separate "AM"/"PM" word, if any.
bool ReadDosTime(QByteArrayView text, QByteArrayView suffix, int& hour, int& minute,
                 bool& usedSuffix)
{
    usedSuffix = false;
    QByteArrayView clock = text;
    QByteArray half;
    if (clock.size() > 2 && !IsDigit(clock.back())) {
        half = clock.last(2).toByteArray().toUpper();
        clock.chop(2);
    } else if (suffix.size() == 2) {
        const QByteArray word = suffix.toByteArray().toUpper();
        if (word == "AM" || word == "PM") {
            half = word;
            usedSuffix = true;
        }
    }
    int secs = 0;
    if (!ReadClock(clock, hour, minute, secs))
        return false;
    if (half.isEmpty())
        return true;
    if ((half != "AM" && half != "PM") || hour < 1 || hour > 12)
        return false;
    hour = hour % 12 + (half == "PM" ? 12 : 0);
    return true;
}

std::optional<FtpListEntry> ParseDosLine(QByteArrayView line)
{
    const Tokens tokens(line);
    if (tokens.count < 4)
        return std::nullopt;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    const QByteArrayView dateText = Text(line, tokens.items[0]);
    if (!ReadDosDate(dateText, year, month, day) && !ReadIsoDate(dateText, year, month, day))
        return std::nullopt;
    bool usedSuffix = false;
    if (!ReadDosTime(Text(line, tokens.items[1]), Text(line, tokens.items[2]), hour, minute,
                     usedSuffix))
        return std::nullopt;
    const int sizeIndex = usedSuffix ? 3 : 2;
    if (sizeIndex + 1 >= tokens.count)
        return std::nullopt;
    FtpListEntry entry;
    const QByteArrayView sizeText = Text(line, tokens.items[sizeIndex]);
    if (sizeText.compare("<DIR>", Qt::CaseInsensitive) == 0) {
        entry.isDirectory = true;
    } else {
        const std::optional<quint64> size = ParseUnsigned(sizeText);
        if (!size)
            return std::nullopt;
        entry.size = *size;
        entry.isNormal = true;
    }
    entry.writeTime = UtcFromCivil(year, month, day, hour, minute);
    // These servers pad the size column, so the name is what follows the blanks.
    if (!TakeName(entry, line.sliced(tokens.items[sizeIndex + 1].begin)))
        return std::nullopt;
    return entry;
}

QByteArrayView WithoutLineEnd(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    return line;
}

std::optional<FtpListEntry> ParseFacts(QByteArrayView line, bool nameIsPath)
{
    line = WithoutLineEnd(line);
    const qsizetype space = line.indexOf(' ');
    if (space < 0)
        return std::nullopt;
    const QByteArrayView facts = line.first(space);
    QByteArrayView name = line.sliced(space + 1);
    if (nameIsPath) {
        while (name.size() > 1 && name.endsWith('/'))
            name.chop(1);
        const qsizetype slash = name.lastIndexOf('/');
        if (slash >= 0)
            name = name.sliced(slash + 1);
    }

    FtpListEntry entry;
    bool typed = false;
    QByteArrayView dots;
    qsizetype at = 0;
    while (at < facts.size()) {
        qsizetype end = facts.indexOf(';', at);
        if (end < 0)
            end = facts.size();
        const QByteArrayView fact = facts.sliced(at, end - at);
        at = end + 1;
        if (fact.isEmpty())
            continue;
        const qsizetype equals = fact.indexOf('=');
        if (equals <= 0)
            return std::nullopt;
        const QByteArray key = fact.first(equals).toByteArray().toLower();
        const QByteArrayView value = fact.sliced(equals + 1);
        if (key == "type") {
            typed = true;
            const QByteArray kind = value.toByteArray().toLower();
            entry.isNormal = kind == "file";
            entry.isDirectory = kind == "dir" || kind == "cdir" || kind == "pdir";
            entry.isLink = kind.startsWith("os.unix=slink") || kind.startsWith("os.unix=symlink");
            if (kind == "cdir")
                dots = ".";
            else if (kind == "pdir")
                dots = "..";
        } else if (key == "size" || key == "sizd") {
            const std::optional<quint64> size = ParseUnsigned(value);
            if (size)
                entry.size = *size;
        } else if (key == "modify") {
            if (const std::optional<qint64> time = ParseFtpTimestamp(value)) {
                entry.writeTime = *time;
                entry.exactTime = true;
            }
        } else if (key == "unix.mode") {
            QByteArrayView octal = value;
            if (octal.startsWith("0o") || octal.startsWith("0O"))
                octal = octal.sliced(2);
            int bits = 0;
            bool valid = !octal.isEmpty() && octal.size() <= 6;
            // Stops at the first bad digit: a long value must not run the sum past an int.
            for (qsizetype i = 0; valid && i < octal.size(); ++i) {
                valid = octal[i] >= '0' && octal[i] <= '7';
                bits = bits * 8 + (octal[i] - '0');
            }
            if (valid)
                entry.permissions = bits & 0777;
        }
    }
    if (!typed)
        entry.isNormal = true; // a server that tells no type lists plain files
    if (!dots.isEmpty())
        name = dots;
    if (!TakeName(entry, name))
        return std::nullopt;
    return entry;
}

} // namespace

std::optional<FtpListEntry> ParseListLine(QByteArrayView line, qint64 nowUtc)
{
    line = WithoutLineEnd(line);
    if (line.isEmpty())
        return std::nullopt;
    if (IsDigit(line[0]))
        return ParseDosLine(line);
    return ParseUnixLine(line, nowUtc);
}

std::optional<FtpListEntry> ParseMlsdLine(QByteArrayView line)
{
    return ParseFacts(line, false);
}

std::optional<FtpListEntry> ParseMlstLine(QByteArrayView line)
{
    return ParseFacts(line, true);
}

std::vector<FtpListEntry> ParseListing(QByteArrayView data, ListingFormat format, qint64 nowUtc)
{
    CListingReader reader(format, nowUtc);
    reader.Feed(data);
    reader.Finish();
    return reader.TakeEntries();
}
