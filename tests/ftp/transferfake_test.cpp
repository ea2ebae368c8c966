// What a real server will not do on demand: a transfer that fails after its data, data that
// ends early or runs long, a stall that the user cancels, sizes past 4 GB, and digests
// that do or do not match.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/digestside.h"
#include "ftp/filemessages.h"
#include "ftp/serverchecks.h"
#include "ftp/transferresume.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "tests/fixtures/fakeftpserver.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <atomic>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using CSession = CFakeFtpServer::CSession;

namespace {

const QString kCopyError = FileMessages::CopyFileText();
const QString kCancelled = FileMessages::CancelledText();

QByteArray Pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

// A RETR that sends `bytes`, then the final reply `last`.
CFakeFtpServer::Handler Retrieve(const QByteArray& bytes, const QByteArray& last)
{
    return [bytes, last](CSession& s, const QByteArray&) {
        s.Send("150 Opening data connection.");
        const int data = s.OpenData();
        s.SendData(data, bytes);
        close(data);
        s.Send(last);
    };
}

} // namespace

class CTransferFakeTest : public testing::Test
{
protected:
    void SetUp() override
    {
        // A break is tried again after a pause: short here, where the server always breaks.
        CTransferResume::SetFirstPause(10ms);
        frame = MakeMainFrame();
        fake.SetFeatures({" SIZE"});
        local = TestCaseFolder() + QStringLiteral("/local");
        ASSERT_TRUE(QDir().mkpath(local));
    }
    void TearDown() override
    {
        // The connection first: it talks to the fake server, which goes after this.
        CCommStatusDialog::Disconnect();
        CTransferResume::SetFirstPause(1000ms);
    }

    void Connect() { ConnectMainTo(fake.Address()); }

    // Downloads /f.bin into a local file that holds "mine" beforehand.
    bool Download(CCommOperation& operation)
    {
        QFile file(Target());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("mine");
        file.close();
        return operation.Dialog().DownloadFile(QStringLiteral("/f.bin"), Target());
    }
    QString Target() const { return local + QStringLiteral("/f.bin"); }
    static QString StatusLine(CCommOperation& operation)
    {
        return operation.Dialog().findChild<QLabel*>(QStringLiteral("statusLine"))->text();
    }
    QString Part() const { return Target() + QStringLiteral(".part"); }

    CFakeFtpServer fake;
    CMainFrame* frame = nullptr;
    QString local;
};

TEST_F(CTransferFakeTest, ADownloadThatIsNotWholeLeavesTheLocalFileAndKeepsWhatArrived)
{
    struct Case
    {
        const char* what;
        QByteArray size; // SIZE's reply
        QByteArray sent;
        QByteArray last;
    };
    const Case table[] = {
        {"426 after all the data", "213 2500", Pattern(2500), "426 Connection closed."},
        {"data ends early with 226", "213 2500", Pattern(1500), "226 Transfer complete."},
        {"more data than SIZE said", "213 1000", Pattern(2500), "226 Transfer complete."},
        // Taken modulo 2^32, the size would be the 1000 bytes that came.
        {"a size past 4 GB", "213 4294968296", Pattern(1000), "226 Transfer complete."},
    };
    Connect();
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        QFile::remove(Part());
        fake.On("SIZE", [c](CSession& s, const QByteArray&) { s.Send(c.size); });
        fake.On("RETR", Retrieve(c.sent, c.last));
        CMessageBoxScript boxes;
        boxes.Expect(kCopyError, FileMessages::CopyFileCaption(), MsgIcon::Stop);
        CCommOperation operation(true);
        EXPECT_FALSE(Download(operation));
        EXPECT_EQ(ReadFile(Target()), QByteArray("mine"));
        EXPECT_TRUE(ReadFile(Part()) == c.sent);
        EXPECT_EQ(operation.Dialog().BytesCopiedText().section(QLatin1Char(' '), 2),
                  QString::fromLatin1(c.size.mid(4)));
        EXPECT_EQ(frame->StatusText(0), QStringLiteral("Ready"));
    }
}

TEST_F(CTransferFakeTest, CancelEndsAStalledDownloadAtOnceAndKeepsWhatArrived)
{
    std::atomic<bool> stalled{false};
    std::atomic<bool> stallRanOut{false};
    fake.On("SIZE", [](CSession& s, const QByteArray&) { s.Send("213 10000"); });
    fake.On("RETR", [&](CSession& s, const QByteArray&) {
        s.Send("150 Opening data connection.");
        const int data = s.OpenData();
        s.SendData(data, Pattern(3000));
        stalled = true;
        // The data stalls until the client gives up: its abort, or its leaving.
        const QByteArray abort = s.ReadCommand(60s);
        stallRanOut = abort.isEmpty() && s.IsOpen();
        close(data);
        if (!abort.isEmpty()) {
            s.Send("426 Transfer aborted.");
            s.Send("226 Abort successful.");
        }
    });
    Connect();
    CMessageBoxScript boxes;
    boxes.Allow(kCancelled);
    CCommOperation operation(true);
    bool pressed = false;
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        // Pressed once the three blocks that came are written.
        if (!stalled || pressed ||
            operation.Dialog().BytesCopiedText() != QStringLiteral("3000 of 10000"))
            return;
        auto* cancel = operation.Dialog().findChild<QPushButton*>(QStringLiteral("cancelButton"));
        ASSERT_NE(cancel, nullptr);
        cancel->click();
        pressed = true;
    });
    press.start(10);
    EXPECT_FALSE(Download(operation));
    ASSERT_TRUE(pressed);
    // Ended by the cancel, not by a time limit on either side (that would be another box).
    EXPECT_FALSE(stallRanOut);
    EXPECT_GE(boxes.Count(kCancelled), 1);
    EXPECT_EQ(ReadFile(Target()), QByteArray("mine"));
    EXPECT_TRUE(ReadFile(Part()) == Pattern(3000));
}

TEST_F(CTransferFakeTest, AnUploadTheServerDidNotStoreWholeIsTheCopyError)
{
    const QString source = local + QStringLiteral("/up.bin");
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Pattern(2500));
    file.close();
    struct Case
    {
        const char* what;
        QByteArray last;
        QByteArray size;
    };
    const Case table[] = {
        {"426 after all the data", "426 Connection closed.", "213 2500"},
        {"the stored file is shorter", "226 Stored.", "213 2000"},
        {"the stored file is missing", "226 Stored.", "550 No such file."},
    };
    Connect();
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        fake.On("STOR", [c](CSession& s, const QByteArray&) {
            s.Send("150 Ready for data.");
            const int data = s.OpenData();
            s.ReceiveData(data);
            close(data);
            s.Send(c.last);
        });
        fake.On("SIZE", [c](CSession& s, const QByteArray&) { s.Send(c.size); });
        CMessageBoxScript boxes;
        boxes.Expect(kCopyError, FileMessages::CopyFileCaption(), MsgIcon::Stop);
        CCommOperation operation(true);
        EXPECT_FALSE(operation.Dialog().UploadFile(source, QStringLiteral("/up.bin")));
    }
}

TEST_F(CTransferFakeTest, ATimeThatCannotBeReadOrSetIsNoFailedCopy)
{
    // 2001-02-03 04:05:06 UTC, as MDTM tells it.
    constexpr qint64 kServerTime = 981173106;
    fake.SetFeatures({" SIZE", " MDTM", " MFMT"});
    fake.On("RETR", Retrieve(Pattern(1500), "226 Sent."));
    fake.On("SIZE", [](CSession& s, const QByteArray&) { s.Send("213 1500"); });
    fake.On("MFMT", [](CSession& s, const QByteArray&) { s.Send("550 Not allowed."); });
    fake.On("STOR", [](CSession& s, const QByteArray&) {
        s.Send("150 Ready for data.");
        const int data = s.OpenData();
        s.ReceiveData(data);
        close(data);
        s.Send("226 Stored.");
    });
    struct Case
    {
        const char* mdtm;
        bool kept; // the download carries kServerTime
    };
    const Case table[] = {
        {"213 20010203040506", true},     {"213 20010203040506.123", true},
        {"550 Not a plain file.", false}, {"213 yesterday", false},
        {"213 20011403040506", false}, // month 14
    };
    Connect();
    for (const Case& c : table) {
        SCOPED_TRACE(c.mdtm);
        const QByteArray reply = c.mdtm;
        fake.On("MDTM", [reply](CSession& s, const QByteArray&) { s.Send(reply); });
        CMessageBoxScript boxes; // no box at all
        CCommOperation operation(true);
        EXPECT_TRUE(Download(operation));
        EXPECT_EQ(ReadFile(Target()), Pattern(1500));
        const qint64 time = QFileInfo(Target()).lastModified().toSecsSinceEpoch();
        if (c.kept)
            EXPECT_EQ(time, kServerTime);
        else
            EXPECT_GT(time, kServerTime + 365 * 86400);
        // And back up: the server refuses the time, the upload still succeeded.
        EXPECT_TRUE(operation.Dialog().UploadFile(Target(), QStringLiteral("/f.bin")));
    }
}

TEST_F(CTransferFakeTest, TheServersDigestMustMatchWhereItTellsOne)
{
    // Digests of "123456789", the check value of each algorithm.
    const QByteArray sha256 = "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225";
    const QByteArray md5 = "25F9E794323B453885F5181F1B624D0B";
    const QByteArray wrongSha256 = QByteArray(64, 'a');
    struct Case
    {
        const char* what;
        QByteArray feature;
        QByteArray command; // the verb that answers
        QByteArray reply;
        bool copied;
    };
    // A copy is whole by its size alone where the server gives no digest; the status line
    // says so, and only equal digests count as checked by digest.
    const Case table[] = {
        {"HASH", " HASH SHA-1;SHA-256*;MD5", "HASH", "213 SHA-256 0-9 " + sha256 + " f.bin", true},
        {"HASH differs", " HASH SHA-256;CRC32", "HASH", "213 SHA-256 0-9 " + wrongSha256 + " f.bin",
         false},
        {"HASH answers in another algorithm", " HASH SHA-256", "HASH",
         "213 MD5 0-9 " + md5 + " f.bin", true},
        {"HASH refused", " HASH SHA-256", "HASH", "550 Cannot hash.", true},
        {"HASH, saying first what it does", " HASH SHA-256", "HASH",
         "213-Computing SHA-256 digest\r\n213 SHA-256 0-9 " + wrongSha256 + " f.bin", false},
        {"XSHA256, saying first what it does", " XSHA256", "XSHA256",
         "250-Computing SHA256 digest\r\n250 " + sha256.toUpper(), true},
        {"XMD5 in capitals", " XMD5", "XMD5", "250 " + md5, true},
        {"XCRC", " XCRC", "XCRC", "250 CBF43926", true},
        {"XCRC differs", " XCRC", "XCRC", "250 CBF43927", false},
    };
    fake.SetFile("/f.bin", "123456789");
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        fake.SetFeatures({" SIZE", c.feature});
        fake.On(c.command, [c](CSession& s, const QByteArray&) { s.Send(c.reply); });
        Connect();
        CMessageBoxScript boxes;
        if (!c.copied)
            boxes.Expect(kCopyError, FileMessages::CopyFileCaption(), MsgIcon::Stop);
        CCommOperation operation(true);
        EXPECT_EQ(Download(operation), c.copied);
        EXPECT_EQ(ReadFile(Target()), c.copied ? QByteArray("123456789") : QByteArray("mine"));
        EXPECT_GE(fake.Count(c.command), 1);
        if (c.copied) {
            EXPECT_EQ(StatusLine(operation), c.reply.contains("550") || c.reply.contains("MD5 0-9")
                                                 ? FileMessages::CheckedBySizeText()
                                                 : FileMessages::CheckedByDigestText());
        }
        CCommStatusDialog::Disconnect();
    }
}

TEST_F(CTransferFakeTest, ALargeDownloadsDigestIsAskedForOnAConnectionOfItsOwn)
{
    const QByteArray content = Pattern(16 * 1024 * 1024);
    const QByteArray sha256 = QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();
    std::atomic<int> sessions{0};
    fake.OnConnect([&sessions](CSession& s) {
        ++sessions;
        s.Send("220 Fake server ready.");
    });
    fake.SetFeatures({" SIZE", " HASH SHA-256*"});
    fake.SetFile("/f.bin", content);
    enum class Answer { Matching, Differing, Refused };
    for (const Answer answer : {Answer::Matching, Answer::Differing, Answer::Refused}) {
        SCOPED_TRACE(static_cast<int>(answer));
        fake.On("HASH", [answer, sha256](CSession& s, const QByteArray&) {
            if (answer == Answer::Refused)
                s.Send("550 Cannot hash.");
            else
                s.Send("213 SHA-256 0-16777216 " +
                       (answer == Answer::Matching ? sha256 : QByteArray(64, '0')) + " f.bin");
        });
        const bool copied = answer != Answer::Differing;
        Connect();
        const int before = sessions;
        CMessageBoxScript boxes;
        if (!copied)
            boxes.Expect(kCopyError, FileMessages::CopyFileCaption(), MsgIcon::Stop);
        CCommOperation operation(true);
        EXPECT_EQ(Download(operation), copied);
        EXPECT_TRUE(ReadFile(Target()) == (copied ? content : QByteArray("mine")));
        EXPECT_EQ(sessions - before, 1);
        if (copied) {
            EXPECT_EQ(StatusLine(operation), answer == Answer::Matching
                                                 ? FileMessages::CheckedByDigestText()
                                                 : FileMessages::CheckedBySizeText());
        }
        CCommStatusDialog::Disconnect();
        // The side connection's thread ends with the copy that started it.
        EXPECT_EQ(CDigestSide::RunningThreads(), 0);
    }
}

TEST_F(CTransferFakeTest, CancelStopsTheDigestSideConnectionAtOnce)
{
    // The server holds the digest answer until the side connection goes: a cancel must
    // end it then, not when the server's time-out would.
    fake.SetFeatures({" SIZE", " HASH SHA-256*"});
    fake.SetFile("/f.bin", Pattern(16 * 1024 * 1024));
    std::atomic<bool> asked{false};
    std::atomic<bool> sideGone{false};
    fake.On("HASH", [&](CSession& s, const QByteArray&) {
        asked = true;
        s.ReadCommand(20s); // returns when the client closes (or says anything)
        sideGone = true;
    });
    Connect();
    CMessageBoxScript boxes;
    boxes.Allow(kCancelled);
    CCommOperation operation(true);
    const CCancelWhen press(operation.Dialog(), [&asked] { return asked.load(); });
    EXPECT_FALSE(Download(operation));
    EXPECT_TRUE(asked);
    // Ended with the copy, and the server saw its connection go.
    EXPECT_EQ(CDigestSide::RunningThreads(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sideGone.load(); }, 5000));
    EXPECT_EQ(ReadFile(Target()), QByteArray("mine"));
}

TEST_F(CTransferFakeTest, AServerThatCopiesFilesMakesTheCopyAndItIsHeldToTheSource)
{
    struct Case
    {
        const char* what;
        QByteArray copyReply; // SITE CPTO's reply; the copy is made on 250
        QByteArray stored;    // what the server's copy holds
        bool copied;
        bool bytesMoved; // the program streamed the file itself
    };
    const QByteArray content = Pattern(2500);
    const Case table[] = {
        {"copied by the server", "250 Copy successful", content, true, false},
        {"refused: the program copies", "550 Permission denied", content, true, true},
        {"a short copy", "250 Copy successful", content.left(2000), false, false},
    };
    Connect();
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        fake.SetFeatures({" SIZE", " SITE COPY"});
        fake.SetFile("/s.bin", content);
        fake.SetFile("/d.bin", "old");
        fake.On("SITE", [this, c](CSession& s, const QByteArray& argument) {
            if (argument.startsWith("CPFR ")) {
                s.Send("350 File exists, ready for destination name");
            } else if (argument.startsWith("CPTO ") && c.copyReply.startsWith("250")) {
                fake.SetFile(argument.mid(5), c.stored);
                s.Send(c.copyReply);
            } else {
                s.Send(c.copyReply);
            }
        });
        const int retrieved = fake.Count("RETR");
        CMessageBoxScript boxes;
        if (!c.copied)
            boxes.Expect(kCopyError, FileMessages::CopyFileCaption(), MsgIcon::Stop);
        CCommOperation operation(true);
        EXPECT_EQ(
            operation.Dialog().CopyFtpFile(QStringLiteral("/s.bin"), QStringLiteral("/d.bin")),
            c.copied);
        EXPECT_EQ(fake.Count("RETR") > retrieved, c.bytesMoved);
        if (c.copied) {
            EXPECT_TRUE(fake.File("/d.bin") == content);
        }
    }
}

TEST(CServerChecksTest, TheDigestIsTheStrongestOfferedAndAskedForAsTheServerWants)
{
    struct Case
    {
        const char* features; // the lines between the FEAT reply's first and last
        QStringList commands; // for "/a b"
        bool exactSize;
    };
    const Case table[] = {
        {"", {}, false},
        {" SIZE\n MDTM", {}, true},
        {" MLST size*;type*;", {}, true},
        {" HASH CRC32;MD5;SHA-1;SHA-256", {"OPTS HASH SHA-256", "HASH /a b"}, false},
        {" HASH SHA-256*;SHA-512", {"HASH /a b"}, false},
        {" hash sha-512*;md5", {"OPTS HASH MD5", "HASH /a b"}, false},
        {" HASH SHA-512", {}, false},
        {" XCRC\n XMD5\n XSHA1", {"XSHA1 /a b"}, false},
        {" XSHA256\n HASH CRC32*", {"XSHA256 /a b"}, false},
        {" XSHA512\n XSHA", {}, false},
        {" SITE COPY\n SIZE", {}, true},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.features);
        const QString text = QStringLiteral("Features:\n") + QString::fromLatin1(c.features) +
                             QStringLiteral("\nEnd");
        const CServerChecks checks = CServerChecks::FromFeatures(211, text);
        EXPECT_EQ(checks.DigestCommands(QStringLiteral("/a b")), c.commands);
        EXPECT_EQ(checks.HasExactSize(), c.exactSize);
        EXPECT_EQ(checks.CopiesFiles(), QByteArray(c.features).contains("SITE COPY"));
    }
    EXPECT_FALSE(CServerChecks::FromFeatures(500, QStringLiteral("x\n SIZE\n HASH MD5\ny"))
                     .Algorithm()
                     .has_value());
}
