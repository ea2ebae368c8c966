#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <deque>
#include <optional>

// One complete reply of a control connection.
struct FtpReply
{
    int code = 0;
    QList<QByteArray> lines; // every line as it arrived, without its line end

    int Class() const { return code / 100; }
    // The text after the code of every line, joined by "\n"; UTF-8 where valid, else Windows-1252.
    QString Text() const;
    // The first line after its code ("257 "), as bytes.
    QByteArray FirstLineText() const;
};

// Reassembles the replies of a control connection from the bytes as they arrive, in any
// pieces. Replies of one line ("200 Ok") and of many ("211-" ... "211 End") are
// recognised. Anything that is not a reply, a line over kMaxLineLength bytes, a reply of
// over kMaxLines lines or of over kMaxReplySize bytes puts the reader into a failed state
// for good: the stream cannot be trusted to be in step any more.
class CFtpReplyReader
{
public:
    static constexpr qsizetype kMaxLineLength = 64 * 1024;
    static constexpr int kMaxLines = 1000;
    static constexpr qsizetype kMaxReplySize = 1024 * 1024;

    void Feed(QByteArrayView bytes);
    // The oldest complete reply not yet taken.
    std::optional<FtpReply> Next();

    bool Failed() const { return !error.isEmpty(); }
    const QString& Error() const { return error; }
    // Whether bytes of an unfinished reply are waiting.
    bool HasPartialReply() const;
    // Whether a complete reply waits to be taken.
    bool HasReply() const { return !ready.empty(); }

private:
    void TakeLine(QByteArrayView line);
    void Fail(const QString& why);

    QByteArray pending;
    qsizetype pendingStart = 0;
    FtpReply current;
    bool inMultiLine = false;
    qsizetype currentSize = 0;
    std::deque<FtpReply> ready;
    QString error;
};
