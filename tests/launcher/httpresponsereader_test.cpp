#include "launcher/httpresponsereader.h"

#include <QList>

#include <gtest/gtest.h>

namespace {

using State = CHttpResponseReader::State;
using Failure = CHttpResponseReader::Failure;

struct Outcome
{
    State state;
    Failure failure;
    QByteArray body;
    qint64 length;
};

Outcome Read(const QList<QByteArray>& blocks, bool finish,
             CHttpResponseReader::Options options = {})
{
    CHttpResponseReader reader(options);
    QByteArray body;
    for (const QByteArray& block : blocks)
        body += reader.Feed(block).toByteArray();
    if (finish)
        reader.Finish();
    return {reader.GetState(), reader.GetFailure(), body, reader.ContentLength()};
}

const char* Name(Failure failure)
{
    static const char* const names[] = {"None",     "HeaderTooLong", "BadStatusLine", "Status",
                                        "NoLength", "BadLength",     "Encoding",      "TooLong",
                                        "TooShort", "Incomplete"};
    return names[int(failure)];
}

} // namespace

TEST(HttpResponseReader, Replies)
{
    struct Case
    {
        const char* name;
        QList<QByteArray> blocks;
        bool finish;
        Failure failure;    // None: complete once `length` bytes of body are in
        QByteArray body;    // the bytes handed back
        qint64 length = -1; // the announced length, where the reply is accepted
    };
    const QByteArray ok = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n";
    const Case cases[] = {
        {"one block", {ok + "hello"}, false, Failure::None, "hello", 5},
        {"body in later blocks", {ok, "he", "llo"}, false, Failure::None, "hello", 5},
        {"HTTP/1.1, no reason",
         {"HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nab"},
         false,
         Failure::None,
         "ab",
         2},
        {"name in any case, blanks around",
         {"HTTP/1.0 200 OK\r\ncontent-LENGTH:\t 3 \r\n\r\nabc"},
         false,
         Failure::None,
         "abc",
         3},
        {"seven digits read whole",
         {"HTTP/1.0 200 OK\r\nContent-Length: 1234567\r\n\r\n"},
         false,
         Failure::None,
         "",
         1234567},
        {"length given twice alike",
         {"HTTP/1.0 200 OK\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\nx"},
         false,
         Failure::None,
         "x",
         1},
        {"binary body",
         {ok + QByteArray("\0\r\n\r\n", 5)},
         false,
         Failure::None,
         QByteArray("\0\r\n\r\n", 5),
         5},
        {"404",
         {"HTTP/1.0 404 Not Found\r\nContent-Length: 5\r\n\r\nnope!"},
         true,
         Failure::Status,
         ""},
        {"200 in the reason only",
         {"HTTP/1.0 302 200\r\nContent-Length: 1\r\n\r\nx"},
         true,
         Failure::Status,
         ""},
        {"not HTTP",
         {"ICY 200 OK\r\nContent-Length: 1\r\n\r\nx"},
         true,
         Failure::BadStatusLine,
         ""},
        {"four-digit status", {"HTTP/1.0 2000 OK\r\n\r\n"}, true, Failure::BadStatusLine, ""},
        {"two-digit status", {"HTTP/1.0 20 OK\r\n\r\n"}, true, Failure::BadStatusLine, ""},
        {"no version", {"HTTP/ 200 OK\r\n\r\n"}, true, Failure::BadStatusLine, ""},
        {"no length", {"HTTP/1.0 200 OK\r\n\r\nabc"}, true, Failure::NoLength, ""},
        {"length 0",
         {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"},
         true,
         Failure::BadLength,
         ""},
        {"length with sign",
         {"HTTP/1.0 200 OK\r\nContent-Length: +5\r\n\r\nhello"},
         true,
         Failure::BadLength,
         ""},
        {"length negative",
         {"HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n"},
         true,
         Failure::BadLength,
         ""},
        {"length in two words",
         {"HTTP/1.0 200 OK\r\nContent-Length: 1 2\r\n\r\n"},
         true,
         Failure::BadLength,
         ""},
        {"length empty",
         {"HTTP/1.0 200 OK\r\nContent-Length:\r\n\r\n"},
         true,
         Failure::BadLength,
         ""},
        {"length beyond belief",
         {"HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n"},
         true,
         Failure::BadLength,
         ""},
        {"two lengths",
         {"HTTP/1.0 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nxy"},
         true,
         Failure::BadLength,
         ""},
        {"chunked",
         {"HTTP/1.0 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n"},
         true,
         Failure::Encoding,
         ""},
        {"body cut short", {ok + "hel"}, true, Failure::TooShort, "hel"},
        {"longer in the same block", {ok + "hello!"}, false, Failure::TooLong, ""},
        {"longer in a later block", {ok + "hello", "!"}, false, Failure::TooLong, "hello"},
        {"closed inside the header",
         {"HTTP/1.0 200 OK\r\nContent-"},
         true,
         Failure::Incomplete,
         ""},
        {"no header end within 16 KiB",
         {"HTTP/1.0 200 OK\r\n" + QByteArray(16 * 1024, 'h')},
         false,
         Failure::HeaderTooLong,
         ""},
    };
    for (const Case& test : cases) {
        const Outcome got = Read(test.blocks, test.finish);
        const State wanted = test.failure != Failure::None     ? State::Failed
                             : test.length == test.body.size() ? State::Complete
                                                               : State::Body;
        EXPECT_EQ(got.state, wanted) << test.name;
        EXPECT_STREQ(Name(got.failure), Name(test.failure)) << test.name;
        EXPECT_EQ(got.body, test.body) << test.name;
        if (test.failure == Failure::None) {
            EXPECT_EQ(got.length, test.length) << test.name;
        }
    }
}

// However the network splits a reply, the same body comes out.
TEST(HttpResponseReader, EverySplitGivesTheSameBody)
{
    const QByteArray body = "0123456789abcdef\r\n\r\nend";
    const QByteArray response =
        "HTTP/1.0 200 OK\r\nServer: t\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\n\r\n" + body;
    for (qsizetype first = 0; first <= response.size(); ++first) {
        for (qsizetype second = first; second <= response.size(); ++second) {
            const Outcome got = Read(
                {response.left(first), response.mid(first, second - first), response.mid(second)},
                false);
            ASSERT_EQ(got.state, State::Complete) << first << ' ' << second;
            ASSERT_EQ(got.body, body) << first << ' ' << second;
        }
    }
}

TEST(HttpResponseReader, HeaderMayFillExactlySixteenKiB)
{
    const QByteArray start = "HTTP/1.0 200 OK\r\nContent-Length: 1\r\nX: ";
    for (const qsizetype total :
         {CHttpResponseReader::kMaxHeaderBytes, CHttpResponseReader::kMaxHeaderBytes + 1}) {
        QByteArray header = start + QByteArray(total - start.size() - 4, 'p') + "\r\n\r\n";
        ASSERT_EQ(header.size(), total);
        QList<QByteArray> blocks;
        for (qsizetype at = 0; at < header.size(); at += 1000)
            blocks.append(header.mid(at, 1000));
        blocks.append("x");
        const Outcome got = Read(blocks, false);
        EXPECT_EQ(got.state,
                  total == CHttpResponseReader::kMaxHeaderBytes ? State::Complete : State::Failed)
            << total;
    }
}

TEST(HttpResponseReader, WithoutRequiredLengthTheBodyRunsToTheEndWithinItsLimit)
{
    CHttpResponseReader::Options options;
    options.lengthRequired = false;
    options.maxBodyBytes = 4;
    const Outcome fits = Read({"HTTP/1.0 200 OK\r\n\r\n8.", "78"}, true, options);
    EXPECT_EQ(fits.state, State::Complete);
    EXPECT_EQ(fits.body, "8.78");
    EXPECT_EQ(Read({"HTTP/1.0 200 OK\r\n\r\n8.", "78", "\n"}, true, options).failure,
              Failure::TooLong);
    EXPECT_EQ(Read({"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n"}, true, options).failure,
              Failure::TooLong);
}
