#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Reads one HTTP/1.0 response block by block, as the network delivers it: collects the
// header (however the blocks split it, up to kMaxHeaderBytes), checks the status line and
// the length, and hands back the body bytes of each block so that the caller can write them
// away at once. It keeps nothing but the header. No sockets and no files: it takes any
// bytes, so every damaged or hostile reply can be fed to it directly.
//
//   CHttpResponseReader reader;
//   while (receive a block)
//       write(reader.Feed(block));   // empty while the header is incomplete
//   reader.Finish();                 // the connection has ended
//   ok = reader.GetState() == CHttpResponseReader::State::Complete;
class CHttpResponseReader
{
public:
    // A header that has not ended within this many bytes is refused.
    static constexpr qsizetype kMaxHeaderBytes = 16 * 1024;
    // Lengths above this are not believable for anything the launcher fetches.
    static constexpr qint64 kMaxContentLength = qint64(1) << 40;

    enum class State {
        Header,   // the header has not ended yet
        Body,     // header accepted, the body is arriving
        Complete, // the whole body has arrived
        Failed,
    };

    enum class Failure {
        None,
        HeaderTooLong, // no header end within kMaxHeaderBytes
        BadStatusLine, // not "HTTP/x.y nnn ..."
        Status,        // a status other than 200
        NoLength,      // no Content-Length where one is required
        BadLength,     // Content-Length not a number, 0, too large, or given twice differently
        Encoding,      // a transfer coding: the body would not be the file's bytes
        TooLong,       // more body bytes than announced (or than allowed)
        TooShort,      // the connection ended before the announced length
        Incomplete,    // the connection ended inside the header
    };

    struct Options
    {
        // Without a length the body runs to the end of the connection.
        bool lengthRequired = true;
        qint64 maxBodyBytes = kMaxContentLength;
    };

    CHttpResponseReader();
    explicit CHttpResponseReader(Options options);

    // Takes the next bytes received and returns the body bytes among them, as a view into
    // `block`. Nothing is returned while the header is incomplete, and nothing once the
    // response has failed; bytes beyond the announced length fail it.
    QByteArrayView Feed(QByteArrayView block);

    // The connection has ended: a body of unknown length is complete now, a body shorter
    // than its length (or a header without its end) fails.
    void Finish();

    State GetState() const { return state; }
    Failure GetFailure() const { return failure; }
    bool IsHeaderComplete() const { return headerDone; }
    int Status() const { return status; }           // 0 until the status line is read
    qint64 ContentLength() const { return length; } // -1 when not announced
    qint64 BodyReceived() const { return received; }

private:
    QByteArrayView TakeHeader(QByteArrayView block);
    bool ParseHeader(QByteArrayView header);
    bool ParseStatusLine(QByteArrayView line);
    bool ParseField(QByteArrayView line);
    QByteArrayView TakeBody(QByteArrayView bytes);
    void Fail(Failure reason);

    Options options;
    State state = State::Header;
    Failure failure = Failure::None;
    QByteArray header;
    bool headerDone = false;
    int status = 0;
    qint64 length = -1;
    qint64 received = 0;
};
