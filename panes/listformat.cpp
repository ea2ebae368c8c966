#include "panes/listformat.h"

#include "app/vantorapp.h"

#include <QCollator>
#include <QLocale>

#include <ctime>

namespace {

// Wide enough for every 64-bit value.
constexpr int kNumberWidth = 20;

QString Padded(quint64 value)
{
    return QStringLiteral("%1").arg(value, kNumberWidth, 10, QLatin1Char('0'));
}

QString ExtensionFirst(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot == name.size() - 1)
        return QLatin1Char('.') + name;
    return name.mid(dot + 1) + QLatin1Char('.') + name.left(dot);
}

} // namespace

SortKeyKind CurrentSortKeyKind()
{
    const CVantorApp& app = theApp();
    if (app.sortByExtension)
        return SortKeyKind::Extension;
    if (app.sortBySize)
        return SortKeyKind::Size;
    if (app.sortByDate)
        return SortKeyKind::Date;
    return SortKeyKind::Name;
}

QString BuildSortKey(const DirEntry& entry, SortKeyKind kind)
{
    QString key = kind == SortKeyKind::Extension ? ExtensionFirst(entry.name) : entry.name;
    if (kind == SortKeyKind::Date) {
        // Shifted into the unsigned range so that times before 1970 sort first.
        const quint64 shifted = static_cast<quint64>(entry.writeTime) ^ (quint64(1) << 63);
        key = Padded(shifted) + key;
    }
    if (kind == SortKeyKind::Size)
        key = Padded(entry.size) + key;
    return (entry.IsFolder() ? QLatin1Char('0') : QLatin1Char('1')) + key;
}

QString FormatSizeText(quint64 size)
{
    QString digits = QString::number(size);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(','));
    return digits;
}

QString FormatDateText(qint64 utcSeconds)
{
    QString month, day, year, hour, minute, half;
    std::tm local{};
    const std::time_t time = static_cast<std::time_t>(utcSeconds);
    if (localtime_r(&time, &local)) {
        // Month, day and hour without a leading zero; the minute keeps its own.
        const int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
        month = QString::number(local.tm_mon + 1);
        day = QString::number(local.tm_mday);
        year = QStringLiteral("%1").arg((local.tm_year + 1900) % 100, 2, 10, QLatin1Char('0'));
        hour = QString::number(hour12);
        minute = QStringLiteral("%1").arg(local.tm_min, 2, 10, QLatin1Char('0'));
        char buffer[16];
        if (std::strftime(buffer, sizeof buffer, "%p", &local))
            half = QString::fromLocal8Bit(buffer);
    }
    return month + QLatin1Char('/') + day + QLatin1Char('/') + year + QLatin1Char(' ') + hour +
           QLatin1Char(':') + minute + QLatin1Char(' ') + half;
}

QCollator PaneCollator()
{
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // Numeric mode would read a "0" or "1" prefix and the padded number after it as one
    // number; the padding already makes the digit-by-digit order the numeric one.
    collator.setNumericMode(false);
    collator.setIgnorePunctuation(false);
    return collator;
}
