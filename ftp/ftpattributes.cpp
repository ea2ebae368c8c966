#include "ftp/ftpattributes.h"

#include "inet/ftpconnection.h"
#include "inet/internetexception.h"
#include "inet/internetfile.h"
#include "inet/listingparser.h"

#include <QByteArray>
#include <QDateTime>

#include <memory>
#include <optional>

namespace {

const QString kUnknown = QStringLiteral("000");

// A listing larger than this is not a folder listing any more; what follows is not read.
constexpr qint64 kListingLimit = 64LL * 1024 * 1024;

// The digits of a Unix mode field such as "-rwsr-x--T": r 4, w 2, x 1 per group; s and t
// are execute plus the special bit, S and T (and the locking "l") the special bit alone.
QString DigitsOfMode(QByteArrayView mode)
{
    int special = 0;
    int groups[3] = {0, 0, 0};
    static constexpr int kSpecialBit[3] = {4, 2, 1}; // setuid, setgid, sticky
    for (int group = 0; group < 3; ++group) {
        const QByteArrayView bits = mode.sliced(1 + group * 3, 3);
        if (bits[0] != '-')
            groups[group] += 4;
        if (bits[1] != '-')
            groups[group] += 2;
        const char execute = bits[2];
        if (execute == 'x' || execute == 's' || execute == 't')
            groups[group] += 1;
        if (execute == 's' || execute == 'S' || execute == 't' || execute == 'T' ||
            execute == 'l' || execute == 'L')
            special += kSpecialBit[group];
    }
    QString digits;
    if (special != 0)
        digits += QChar(u'0' + special);
    for (const int value : groups)
        digits += QChar(u'0' + value);
    return digits;
}

// The value that `line` gives for `name`, or nothing when the line is not that entry's.
std::optional<QString> ValueOfLine(QByteArrayView line, const QString& name, qint64 now)
{
    const std::optional<FtpListEntry> entry = ParseListLine(line, now);
    if (!entry || entry->name != name)
        return std::nullopt;
    // Only the Unix form carries permissions; the parser has checked its mode field.
    if (entry->permissions < 0)
        return kUnknown;
    qsizetype start = 0;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
        ++start;
    if (line.size() - start < 10)
        return kUnknown;
    return DigitsOfMode(line.sliced(start, 10));
}

std::optional<int> OctalValue(const QString& text)
{
    if (!IsAttributeValue(text))
        return std::nullopt;
    int value = 0;
    for (const QChar c : text)
        value = value * 8 + (c.unicode() - u'0');
    return value;
}

} // namespace

QString PermissionsFromListing(QByteArrayView listing, const QString& name)
{
    if (name.isEmpty())
        return kUnknown;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    qsizetype at = 0;
    while (at < listing.size()) {
        qsizetype end = listing.indexOf('\n', at);
        if (end < 0)
            end = listing.size();
        QByteArrayView line = listing.sliced(at, end - at);
        at = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (const std::optional<QString> value = ValueOfLine(line, name, now))
            return *value;
    }
    return kUnknown;
}

bool IsAttributeValue(const QString& text)
{
    if (text.isEmpty() || text.size() > 4)
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'7')
            return false;
    }
    return true;
}

bool SameAttributeValue(const QString& a, const QString& b)
{
    const std::optional<int> first = OctalValue(a);
    return first && first == OctalValue(b);
}

QString ReadAttributes(CFtpConnection& connection, const QString& folder, const QString& name)
{
    try {
        if (!folder.isEmpty() && !connection.SetCurrentDirectory(folder))
            return kUnknown;
        connection.Command(QStringLiteral("NOOP"), false);
        QByteArray listing;
        std::unique_ptr<CInternetFile> data = connection.Command(QStringLiteral("LIST"), true);
        char block[16384];
        qint64 got = 0;
        while (listing.size() < kListingLimit && (got = data->Read(block, sizeof block)) > 0)
            listing.append(block, got);
        // Past the limit the rest is left unread: the file's destructor aborts the transfer.
        if (got == 0)
            data->Close();
        data.reset();
        connection.Command(QStringLiteral("NOOP"), false);
        return PermissionsFromListing(listing, name);
    } catch (const CInternetException&) {
        return kUnknown;
    }
}

bool ApplyAttributes(CFtpConnection& connection, const QString& folder, const QString& name,
                     const QString& value)
{
    try {
        if (!folder.isEmpty() && !connection.SetCurrentDirectory(folder))
            return false;
        connection.Command(QStringLiteral("NOOP"), false);
        connection.Command(QStringLiteral("SITE CHMOD ") + value + QLatin1Char(' ') + name, false);
        connection.Command(QStringLiteral("NOOP"), false);
    } catch (const CInternetException&) {
        return false;
    }
    return SameAttributeValue(ReadAttributes(connection, folder, name), value);
}
