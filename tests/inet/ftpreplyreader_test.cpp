// The control connection's reply reader and the parsers of single replies.
#include "inet/ftpnamecodec.h"
#include "inet/ftpreplyparsers.h"
#include "inet/ftpreplyreader.h"
#include "inet/hostresolver.h"
#include "inet/listingparser.h"

#include <gtest/gtest.h>

namespace {

struct Parsed
{
    std::vector<std::pair<int, int>> replies; // code, lines
    bool failed = false;
};

// Feeds the bytes whole, or one byte at a time.
Parsed Read(const QByteArray& bytes, bool byteWise)
{
    CFtpReplyReader reader;
    Parsed parsed;
    auto drain = [&] {
        while (std::optional<FtpReply> reply = reader.Next())
            parsed.replies.emplace_back(reply->code, static_cast<int>(reply->lines.size()));
    };
    if (byteWise) {
        for (const char c : bytes) {
            reader.Feed(QByteArrayView(&c, 1));
            drain();
        }
    } else {
        reader.Feed(bytes);
        drain();
    }
    parsed.failed = reader.Failed();
    return parsed;
}

QByteArray Repeat(const QByteArray& line, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += line;
    return bytes;
}

} // namespace

TEST(FtpReplyReader, RepliesOfOneAndManyLinesAndBrokenOnes)
{
    struct Case
    {
        const char* what;
        QByteArray bytes;
        std::vector<std::pair<int, int>> replies;
        bool failed;
    };
    const Case cases[] = {
        {"one line", "220 Hello\r\n", {{220, 1}}, false},
        {"bare line feed", "200 Ok\n", {{200, 1}}, false},
        {"code alone", "200\r\n", {{200, 1}}, false},
        {"many lines", "220-Welcome\r\n220-more\r\n220 End\r\n", {{220, 3}}, false},
        {"FEAT", "211-Features:\r\n MLST type*;\r\n UTF8\r\n211 End\r\n", {{211, 4}}, false},
        {"other code inside",
         "230-Hi\r\n123 not the end\r\n230-still\r\n230 done\r\n",
         {{230, 4}},
         false},
        {"two replies", "230-a\r\n230 c\r\n200 next\r\n", {{230, 2}, {200, 1}}, false},
        {"unfinished", "220-a\r\n220-b\r\n", {}, false},
        {"no code", "hello\r\n", {}, true},
        {"two digits", "22 hi\r\n", {}, true},
        {"shorter than a code", "ab\r\n", {}, true},
        {"four digits", "2200 x\r\n", {}, true},
        {"first digit out of range", "600 x\r\n", {}, true},
        {"garbage after a reply", "200 ok\r\nxyz\r\n", {{200, 1}}, true},
        {"endless reply", "220-start\r\n" + Repeat("220-again\r\n", 1000), {}, true},
        {"reply of 1000 lines",
         "220-start\r\n" + Repeat("220-again\r\n", 998) + "220 end\r\n",
         {{220, 1000}},
         false},
        {"reply of over 1 MiB in long lines",
         "220-start\r\n" + Repeat("220-" + QByteArray(60 * 1024, 'x') + "\r\n", 20) + "220 end\r\n",
         {},
         true},
        {"endless line", "220 " + QByteArray(70 * 1024, 'x'), {}, true},
        {"overlong line", "220 " + QByteArray(70 * 1024, 'x') + "\r\n", {}, true},
    };
    for (const Case& c : cases) {
        for (const bool byteWise : {false, true}) {
            if (byteWise && c.bytes.size() > 20000)
                continue;
            const Parsed got = Read(c.bytes, byteWise);
            // A reader that failed may drop replies it had; only the failure counts then.
            if (!c.failed) {
                EXPECT_EQ(got.replies, c.replies) << c.what << (byteWise ? " (byte-wise)" : "");
            }
            EXPECT_EQ(got.failed, c.failed) << c.what << (byteWise ? " (byte-wise)" : "");
        }
    }
}

TEST(FtpReplyReader, ALineOfTheLargestSizeIsReadHoweverItsLineEndArrives)
{
    const QByteArray line = "220 " + QByteArray(CFtpReplyReader::kMaxLineLength - 4, 'x');
    const QByteArray bytes = line + "\r\n";
    // Whole; cut between CR and LF; cut before the CR.
    for (const qsizetype cut : {bytes.size(), bytes.size() - 1, bytes.size() - 2}) {
        CFtpReplyReader reader;
        reader.Feed(QByteArrayView(bytes).first(cut));
        reader.Feed(QByteArrayView(bytes).sliced(cut));
        EXPECT_FALSE(reader.Failed()) << "cut at " << cut << ": " << reader.Error().toStdString();
        const std::optional<FtpReply> reply = reader.Next();
        ASSERT_TRUE(reply) << "cut at " << cut;
        EXPECT_EQ(reply->lines, QList<QByteArray>{line}) << "cut at " << cut;
    }

    // One byte more is refused, wherever the cut.
    const QByteArray over = "220 " + QByteArray(CFtpReplyReader::kMaxLineLength - 3, 'x') + "\r\n";
    for (const qsizetype cut : {over.size(), over.size() - 1, over.size() - 2}) {
        CFtpReplyReader reader;
        reader.Feed(QByteArrayView(over).first(cut));
        reader.Feed(QByteArrayView(over).sliced(cut));
        EXPECT_TRUE(reader.Failed()) << "cut at " << cut;
    }
}

TEST(FtpReplyReader, TextDropsTheCodes)
{
    CFtpReplyReader reader;
    reader.Feed("230-Welcome\r\n to the server\r\n230 Logged in.\r\n");
    const std::optional<FtpReply> reply = reader.Next();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Text(), QStringLiteral("Welcome\n to the server\nLogged in."));
    EXPECT_EQ(reply->FirstLineText(), QByteArray("Welcome"));
}

TEST(FtpReplyParsers, PwdPasvEpsvSizeMdtm)
{
    struct PwdCase
    {
        QByteArray text;
        std::optional<QByteArray> path;
    };
    const PwdCase pwd[] = {
        {"\"/home/user\" is the current directory.", QByteArray("/home/user")},
        {"\"/a \"\"quoted\"\" b\" created", QByteArray("/a \"quoted\" b")},
        {"\"/with space\"", QByteArray("/with space")},
        {"/unquoted is current", QByteArray("/unquoted")},
        {"\"/no closing quote", std::nullopt},
        {"\"\" empty", std::nullopt},
        {"nothing here", std::nullopt},
    };
    for (const PwdCase& c : pwd)
        EXPECT_EQ(ParsePwdReply(c.text), c.path) << c.text.toStdString();

    struct PasvCase
    {
        QByteArray text;
        int port; // 0: refused
    };
    const PasvCase pasv[] = {
        {"Entering Passive Mode (127,0,0,2,19,137).", 19 * 256 + 137},
        {"Entering Passive Mode 10,1,2,3,4,5", 4 * 256 + 5},
        {"=127,0,0,1,0,21", 21},
        {"Entering Passive Mode (127,0,0,1,256,1).", 0},
        {"Entering Passive Mode (127,0,0,1,0,0).", 0},
        {"Entering Passive Mode (127,0,0,1,4).", 0},
        {"", 0},
    };
    for (const PasvCase& c : pasv) {
        const std::optional<FtpPassiveReply> got = ParsePasvReply(c.text);
        EXPECT_EQ(got ? got->port : 0, c.port) << c.text.toStdString();
    }

    struct EpsvCase
    {
        QByteArray text;
        int port;
    };
    const EpsvCase epsv[] = {
        {"Entering Extended Passive Mode (|||6446|)", 6446},
        {"Entering Extended Passive Mode (!!!6446!)", 6446},
        {"ok (|1|127.0.0.9|6446|)", 6446},
        {"(|||0|)", 0},
        {"(|||70000|)", 0},
        {"(|||6446|", 0},
        {"(|||abc|)", 0},
        {"no parenthesis", 0},
    };
    for (const EpsvCase& c : epsv)
        EXPECT_EQ(ParseEpsvReply(c.text).value_or(0), c.port) << c.text.toStdString();

    EXPECT_EQ(ParseSizeReply(" 5000000000"), 5000000000ULL);
    EXPECT_FALSE(ParseSizeReply("12x"));
    EXPECT_FALSE(ParseSizeReply("99999999999999999999999"));
    EXPECT_EQ(ParseMdtmReply("20210304050600"), 1614834360);
    EXPECT_EQ(ParseMdtmReply("20210304050600.5"), 1614834360);
    EXPECT_FALSE(ParseMdtmReply("20211304050600"));
    EXPECT_FALSE(ParseMdtmReply("2021030405"));
}

TEST(FtpReplyParsers, FeatListsWhatIsOffered)
{
    CFtpReplyReader reader;
    reader.Feed("211-Features:\r\n EPRT\r\n EPSV\r\n MDTM\r\n MFMT\r\n MLST "
                "type*;size*;modify*;unix.mode;\r\n"
                " REST STREAM\r\n SIZE\r\n UTF8\r\n211 End FEAT.\r\n");
    const FtpFeatures all = ParseFeatReply(*reader.Next());
    EXPECT_TRUE(all.utf8 && all.mlst && all.size && all.mdtm && all.mfmt && all.epsv && all.eprt);
    EXPECT_EQ(all.mlstFacts, QByteArray("type*;size*;modify*;unix.mode;"));

    reader.Feed("500 FEAT not understood\r\n");
    const FtpFeatures none = ParseFeatReply(*reader.Next());
    EXPECT_FALSE(none.utf8 || none.mlst || none.size || none.mfmt || none.epsv || none.eprt);
}

TEST(ServerAddress, HostsPortsAndBrackets)
{
    struct Case
    {
        const char* text;
        quint16 port;
        const char* host; // nullptr: refused
        quint16 expectedPort;
    };
    const Case cases[] = {
        {"ftp.example.com", 0, "ftp.example.com", 21},
        {"ftp.example.com", 2121, "ftp.example.com", 2121},
        {"ftp.example.com:990", 2121, "ftp.example.com", 990},
        {" 127.0.0.1:21 ", 0, "127.0.0.1", 21},
        {"[::1]", 0, "::1", 21},
        {"[::1]:2121", 0, "::1", 2121},
        {"::1", 0, "::1", 21},
        {"host:", 0, nullptr, 0},
        {"host:70000", 0, nullptr, 0},
        {"host:abc", 0, nullptr, 0},
        {"[::1", 0, nullptr, 0},
        {"[::1]x", 0, nullptr, 0},
        {"", 0, nullptr, 0},
        {"two words", 0, nullptr, 0},
        {"ftp://host", 0, nullptr, 0},
    };
    for (const Case& c : cases) {
        const std::optional<FtpServerAddress> got =
            ParseServerAddress(QString::fromUtf8(c.text), c.port);
        if (!c.host) {
            EXPECT_FALSE(got) << c.text;
            continue;
        }
        ASSERT_TRUE(got) << c.text;
        EXPECT_EQ(got->host.toStdString(), c.host) << c.text;
        EXPECT_EQ(got->port, c.expectedPort) << c.text;
    }
}

TEST(FtpNameCodec, NamesGoBackAsTheServersBytes)
{
    CFtpNameCodec codec;
    const std::optional<FtpListEntry> latin1 = ParseMlsdLine("type=file; caf\xe9");
    const std::optional<FtpListEntry> utf8 = ParseMlsdLine("type=file; na\xc3\xafve");
    ASSERT_TRUE(latin1 && utf8);
    codec.Learn(*latin1);
    codec.Learn(*utf8);
    EXPECT_EQ(codec.EncodePath(QStringLiteral("/dir/café")), QByteArray("/dir/caf\xe9"));
    EXPECT_EQ(codec.EncodePath(QStringLiteral("naïve")), QByteArray("na\xc3\xafve"));
    EXPECT_EQ(codec.EncodePath(QStringLiteral("new é")), QByteArray("new \xc3\xa9"));
    EXPECT_EQ(codec.EncodeText(QStringLiteral("SITE CHMOD 644 café")),
              QByteArray("SITE CHMOD 644 caf\xe9"));
    EXPECT_EQ(codec.EncodeText(QStringLiteral("SITE CHMOD 644 naïve")),
              QByteArray("SITE CHMOD 644 na\xc3\xafve"));

    // A PWD path that is not UTF-8 is decoded part by part and its parts are learned.
    EXPECT_EQ(codec.DecodePath("/M\xfcller/x"), QStringLiteral("/Müller/x"));
    EXPECT_EQ(codec.EncodePath(QStringLiteral("/Müller/x/café")),
              QByteArray("/M\xfcller/x/caf\xe9"));

    // The same text seen later as UTF-8 goes back as UTF-8.
    codec.Learn(*ParseMlsdLine("type=file; caf\xc3\xa9"));
    EXPECT_EQ(codec.EncodePath(QStringLiteral("café")), QByteArray("caf\xc3\xa9"));
}
