#include "launcher/versioncheck.h"

#include <QList>

namespace {

// The body of a version answer is a line or two; anything much larger is not one.
constexpr qint64 kMaxVersionBody = 4096;

bool IsDottedNumber(QStringView text)
{
    if (text.isEmpty())
        return false;
    bool partHasDigit = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('.')) {
            if (!partHasDigit)
                return false;
            partHasDigit = false;
        } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            partHasDigit = true;
        } else {
            return false;
        }
    }
    return partHasDigit;
}

// Digit strings compare as numbers of any size once leading zeros are gone.
int CompareNumbers(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == QLatin1Char('0'))
        a = a.sliced(1);
    while (b.size() > 1 && b.front() == QLatin1Char('0'))
        b = b.sliced(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

} // namespace

std::optional<int> CompareVersions(QStringView a, QStringView b)
{
    if (!IsDottedNumber(a) || !IsDottedNumber(b))
        return std::nullopt;
    const QList<QStringView> left = a.split(QLatin1Char('.'));
    const QList<QStringView> right = b.split(QLatin1Char('.'));
    const QStringView zero(u"0");
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const int order =
            CompareNumbers(i < left.size() ? left[i] : zero, i < right.size() ? right[i] : zero);
        if (order != 0)
            return order < 0 ? -1 : 1;
    }
    return 0;
}

std::optional<QString> VersionFromBody(QByteArrayView body)
{
    qsizetype end = body.indexOf('\n');
    if (end < 0)
        end = body.size();
    const QString line = QString::fromLatin1(body.first(end)).trimmed();
    if (!IsDottedNumber(line))
        return std::nullopt;
    return line;
}

VersionCheck CheckForNewerVersion(const CUpdateServer& server,
                                  const std::optional<QString>& installed,
                                  const CHttpConnection::WaitHook& hook)
{
    const CUpdateServer::Document answer = server.Fetch(kVersionPath, kMaxVersionBody, hook);
    if (answer.outcome != CUpdateServer::Outcome::Ok)
        return VersionCheck::Undecided;
    const std::optional<QString> newest = VersionFromBody(answer.body);
    if (!newest)
        return VersionCheck::Undecided;
    const QString own = installed ? installed->trimmed() : QString();
    const std::optional<int> order =
        CompareVersions(*newest, IsDottedNumber(own) ? QStringView(own) : QStringView(u"0"));
    return order && *order > 0 ? VersionCheck::Newer : VersionCheck::NotNewer;
}
