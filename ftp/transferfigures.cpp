#include "ftp/transferfigures.h"

#include <algorithm>

namespace TransferFigures {

QString BytesCopiedText(quint64 bytesDone, const QString& totalText)
{
    if (totalText.isEmpty())
        return QString::number(bytesDone);
    return QString::number(bytesDone) + QStringLiteral(" of ") + totalText;
}

quint64 Rate(quint64 bytes, qint64 seconds)
{
    return seconds > 0 ? bytes / static_cast<quint64>(seconds) : 0;
}

QString ClockText(qint64 seconds)
{
    seconds = std::max<qint64>(seconds, 0);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600 % 24, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString FolderText(const FolderProgress& progress, quint64 currentFileBytes, std::time_t now)
{
    const quint64 done = progress.bytesDone + currentFileBytes;
    // A file that grew while it was sent does not make the total shrink below what came.
    const quint64 total = std::max(progress.bytesTotal, done);
    const QString of =
        progress.totalKnown ? QStringLiteral(" of ") : QStringLiteral(" of at least ");
    const quint64 rate = Rate(done, static_cast<qint64>(now - progress.started));
    QString text = QStringLiteral("Files %1%2%3, bytes %4%2%5, %6 bytes per second")
                       .arg(progress.filesDone)
                       .arg(of)
                       .arg(progress.filesTotal)
                       .arg(done)
                       .arg(total)
                       .arg(rate);
    if (progress.totalKnown && rate > 0)
        text += QStringLiteral(", ") + ClockText(static_cast<qint64>((total - done) / rate)) +
                QStringLiteral(" left");
    return text;
}

} // namespace TransferFigures
