#include "inet/ftpreplyreader.h"

#include "inet/ftptext.h"

#include <algorithm>

namespace {

// "ddd" with a first digit of 1 to 5, as RFC 959 allows; -1 when the line starts otherwise.
int ReplyCodeOf(QByteArrayView line)
{
    if (line.size() < 3)
        return -1;
    const char a = line[0], b = line[1], c = line[2];
    if (a < '1' || a > '5' || b < '0' || b > '9' || c < '0' || c > '9')
        return -1;
    return (a - '0') * 100 + (b - '0') * 10 + (c - '0');
}

} // namespace

QString FtpReply::Text() const
{
    QByteArray joined;
    for (const QByteArray& line : lines) {
        if (!joined.isEmpty())
            joined += '\n';
        // Continuation lines need not carry the code; strip it only where it is there.
        const bool coded = line.size() >= 3 && line.left(3) == QByteArray::number(code) &&
                           (line.size() == 3 || line[3] == ' ' || line[3] == '-');
        joined += coded ? line.mid(4) : line;
    }
    return DecodeServerText(joined);
}

QByteArray FtpReply::FirstLineText() const
{
    if (lines.isEmpty())
        return {};
    return lines.front().mid(4);
}

void CFtpReplyReader::Feed(QByteArrayView bytes)
{
    if (Failed())
        return;
    pending.append(bytes.data(), bytes.size());
    while (!Failed()) {
        const qsizetype end = pending.indexOf('\n', pendingStart);
        if (end < 0)
            break;
        qsizetype lineEnd = end;
        if (lineEnd > pendingStart && pending[lineEnd - 1] == '\r')
            --lineEnd;
        TakeLine(QByteArrayView(pending).sliced(pendingStart, lineEnd - pendingStart));
        pendingStart = end + 1;
    }
    if (pendingStart > 0) {
        pending.remove(0, pendingStart);
        pendingStart = 0;
    }
    // A CR at the end may be the first half of the line end; it does not count to the line.
    const qsizetype partLength = pending.size() - (pending.endsWith('\r') ? 1 : 0);
    if (!Failed() && partLength > kMaxLineLength)
        Fail(QStringLiteral("The server sent a reply line of more than 64 KiB."));
}

std::optional<FtpReply> CFtpReplyReader::Next()
{
    if (ready.empty())
        return std::nullopt;
    FtpReply reply = std::move(ready.front());
    ready.pop_front();
    return reply;
}

bool CFtpReplyReader::HasPartialReply() const
{
    return inMultiLine || !pending.isEmpty();
}

void CFtpReplyReader::TakeLine(QByteArrayView line)
{
    if (line.size() > kMaxLineLength) {
        Fail(QStringLiteral("The server sent a reply line of more than 64 KiB."));
        return;
    }
    const int code = ReplyCodeOf(line);
    if (!inMultiLine) {
        if (line.isEmpty())
            return; // a stray blank line between replies carries nothing
        const bool separated = code >= 0 && (line.size() == 3 || line[3] == ' ' || line[3] == '-');
        if (code < 0 || !separated) {
            Fail(QStringLiteral("The server sent something that is not an FTP reply: \"%1\".")
                     .arg(DecodeServerText(line.first(std::min<qsizetype>(line.size(), 80)))));
            return;
        }
        current = FtpReply{code, {line.toByteArray()}};
        currentSize = line.size();
        if (line.size() > 3 && line[3] == '-') {
            inMultiLine = true;
            return;
        }
        ready.push_back(std::move(current));
        current = {};
        return;
    }
    current.lines.append(line.toByteArray());
    currentSize += line.size();
    if (current.lines.size() > kMaxLines) {
        Fail(QStringLiteral("The server sent a reply of more than 1000 lines."));
        return;
    }
    if (currentSize > kMaxReplySize) {
        Fail(QStringLiteral("The server sent a reply of more than 1 MiB."));
        return;
    }
    if (code == current.code && (line.size() == 3 || line[3] == ' ')) {
        inMultiLine = false;
        ready.push_back(std::move(current));
        current = {};
    }
}

void CFtpReplyReader::Fail(const QString& why)
{
    error = why;
    pending.clear();
    pendingStart = 0;
    ready.clear();
    inMultiLine = false;
}
