// A connection that breaks in the middle of a file: the copy logs in again and goes on
// where it stopped (or from the start where the server will not), and Cancel ends it.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "ftp/transferresume.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "tests/fixtures/fakeftpserver.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using CSession = CFakeFtpServer::CSession;

namespace {

QByteArray Pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return bytes;
}

// Up to `limit` bytes of the data connection (all of it when negative).
QByteArray ReceiveUpTo(int data, qsizetype limit)
{
    QByteArray got;
    char buffer[16384];
    while (limit < 0 || got.size() < limit) {
        const qsizetype want = limit < 0 ? qsizetype(sizeof buffer)
                                         : std::min<qsizetype>(sizeof buffer, limit - got.size());
        const ssize_t n = ::recv(data, buffer, static_cast<size_t>(want), 0);
        if (n <= 0)
            break;
        got.append(buffer, n);
    }
    return got;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

// A fake server holding one file, /f.bin, that breaks the first `drops` transfers half-way
// (the data and the control connection both dropped) and counts the bytes that moved.
class CTransferResumeTest : public testing::Test
{
protected:
    void SetUp() override
    {
        CTransferResume::SetFirstPause(10ms);
        frame = MakeMainFrame();
        fake.SetFeatures({" SIZE", " REST STREAM"});
        local = TestCaseFolder() + QStringLiteral("/local");
        ASSERT_TRUE(QDir().mkpath(local));
        fake.On("REST", [this](CSession& s, const QByteArray& argument) {
            if (!restAccepted) {
                s.Send("502 Not implemented.");
                return;
            }
            restAt = argument.toLongLong();
            s.Send("350 Restarting.");
        });
        fake.On("RETR", [this](CSession& s, const QByteArray& path) {
            if (RefuseRestartedTransfer(s))
                return;
            const QByteArray rest = fake.File(path).mid(restAt.exchange(0));
            const bool drop = drops > 0 && drops-- > 0;
            const QByteArray sent = drop ? rest.left(rest.size() / 2 + 500) : rest;
            s.Send("150 Opening data connection.");
            const int data = s.OpenData();
            s.SendData(data, sent);
            moved += sent.size();
            close(data);
            if (drop)
                s.Close();
            else
                s.Send("226 Transfer complete.");
        });
        fake.On("STOR", [this](CSession& s, const QByteArray& path) {
            if (RefuseRestartedTransfer(s))
                return;
            const qint64 at = restAt.exchange(0);
            const bool drop = drops > 0 && drops-- > 0;
            s.Send("150 Ready for data.");
            const int data = s.OpenData();
            const QByteArray got = ReceiveUpTo(data, drop ? uploadSize / 2 : -1);
            moved += got.size();
            close(data);
            fake.SetFile(path, fake.File(path).left(at) + got);
            if (drop)
                s.Close();
            else
                s.Send("226 Stored.");
        });
    }
    void TearDown() override
    {
        CCommStatusDialog::Disconnect();
        CTransferResume::SetFirstPause(1000ms);
    }

    void Connect() { ConnectMainTo(fake.Address()); }
    // A server that takes REST but not a transfer that starts part-way (as proftpd without
    // AllowStoreRestart answers).
    bool RefuseRestartedTransfer(CSession& s)
    {
        if (!transferAfterRestRefused || restAt == 0)
            return false;
        restAt = 0;
        s.Send("451 f.bin: Append/Restart not permitted, try again");
        return true;
    }
    QString Target() const { return local + QStringLiteral("/f.bin"); }
    static QString StatusLine(CCommOperation& operation)
    {
        return operation.Dialog().findChild<QLabel*>(QStringLiteral("statusLine"))->text();
    }

    static constexpr qsizetype downloadSize = 200000;
    static constexpr qsizetype uploadSize = 4000000; // past what the sockets buffer
    CFakeFtpServer fake;
    CMainFrame* frame = nullptr;
    QString local;
    std::atomic<int> drops{1};
    std::atomic<bool> restAccepted{true};
    std::atomic<bool> transferAfterRestRefused{false};
    std::atomic<qint64> restAt{0};
    std::atomic<qint64> moved{0}; // the bytes the server sent or received
};

TEST_F(CTransferResumeTest, ABrokenTransferGoesOnAfterALoginAndIsWhole)
{
    struct Case
    {
        const char* what;
        bool upload;
        bool restAccepted;
        int drops;
        bool transferAfterRestRefused = false;
    };
    const Case table[] = {
        {"download", false, true, 1},
        {"download broken twice", false, true, 2},
        {"download, REST refused", false, false, 1},
        {"download, RETR after REST refused", false, true, 1, true},
        {"upload", true, true, 1},
        {"upload, REST refused", true, false, 1},
        {"upload, STOR after REST refused", true, true, 1, true},
    };
    // One login for all: each case starts on the connection the one before logged in afresh.
    Connect();
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        const qsizetype size = c.upload ? uploadSize : downloadSize;
        const QByteArray content = Pattern(size);
        restAccepted = c.restAccepted;
        transferAfterRestRefused = c.transferAfterRestRefused;
        drops = c.drops;
        moved = 0;
        const int restsBefore = fake.Count("REST");
        const int loginsBefore = fake.Count("USER");
        CMessageBoxScript boxes; // no box at all
        CCommOperation operation(true);
        if (c.upload) {
            QFile::remove(Target());
            fake.SetFile("/f.bin", QByteArray());
            ASSERT_TRUE(WriteFile(Target(), content));
            ASSERT_TRUE(operation.Dialog().UploadFile(Target(), QStringLiteral("/f.bin")));
            EXPECT_TRUE(fake.File("/f.bin") == content);
        } else {
            QFile::remove(Target());
            fake.SetFile("/f.bin", content);
            EXPECT_TRUE(operation.Dialog().DownloadFile(QStringLiteral("/f.bin"), Target()));
            EXPECT_TRUE(ReadFile(Target()) == content);
            EXPECT_FALSE(QFile::exists(Target() + QStringLiteral(".part")));
        }
        EXPECT_EQ(fake.Count("USER") - loginsBefore, c.drops);
        EXPECT_EQ(fake.Count("REST") - restsBefore, c.drops);
        if (c.restAccepted && !c.transferAfterRestRefused)
            EXPECT_LT(moved, size * 16 / 10);
        else
            EXPECT_GT(moved, size); // the file went again from its start
    }
}

TEST_F(CTransferResumeTest, AServerThatBreaksEveryTimeGivesTheCopyErrorAfterThreeTries)
{
    drops = 100;
    restAccepted = false; // no progress is kept, so no try is earned back
    fake.SetFile("/f.bin", Pattern(downloadSize));
    Connect();
    CMessageBoxScript boxes;
    boxes.Expect(FileMessages::CopyFileText(), FileMessages::CopyFileCaption(), MsgIcon::Stop);
    CCommOperation operation(true);
    EXPECT_FALSE(operation.Dialog().DownloadFile(QStringLiteral("/f.bin"), Target()));
    EXPECT_EQ(fake.Count("RETR"), 1 + CTransferResume::kTries);
    EXPECT_FALSE(QFile::exists(Target()));
}

TEST_F(CTransferResumeTest, CancelDuringThePauseDoesNotResume)
{
    CTransferResume::SetFirstPause(60s); // only the Cancel ends it
    fake.SetFile("/f.bin", Pattern(downloadSize));
    Connect();
    CMessageBoxScript boxes;
    boxes.Allow(FileMessages::CancelledText());
    CCommOperation operation(true);
    bool pressed = false;
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (pressed || !StatusLine(operation).startsWith(QStringLiteral("Connection lost")))
            return;
        operation.Dialog().findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        pressed = true;
    });
    press.start(0);
    EXPECT_FALSE(operation.Dialog().DownloadFile(QStringLiteral("/f.bin"), Target()));
    EXPECT_TRUE(pressed);
    EXPECT_GE(boxes.Count(FileMessages::CancelledText()), 1);
    EXPECT_EQ(fake.Count("USER"), 1);
    EXPECT_EQ(fake.Count("RETR"), 1);
    EXPECT_FALSE(QFile::exists(Target()));
}

// The same against a real server that goes away once in the middle of a file: its REST,
// SIZE and partial files are what the resume has to work with.
TEST_F(CTransferResumeTest, ARealServerThatDropsTheConnectionMidFileIsResumed)
{
    constexpr qsizetype size = 3 * 1024 * 1024;
    const QByteArray content = Pattern(size);
    for (const bool upload : {false, true}) {
        SCOPED_TRACE(upload ? "upload" : "download");
        CFtpServerFixture server({QStringLiteral("--break-after"), QString::number(size / 3)});
        ASSERT_TRUE(server.IsRunning());
        CVantorApp& app = theApp();
        ProfileRecord& profile = app.activeProfile;
        profile.name = QStringLiteral("test");
        profile.address = server.Address();
        profile.userId = QString::fromLatin1(CFtpServerFixture::kUser);
        profile.password = QString::fromLatin1(CFtpServerFixture::kPassword);
        app.internetSession = std::make_unique<CInternetSession>();
        // Passive, as pyftpdlib keeps active data connections of two sessions apart badly.
        app.ftpConnection = app.internetSession->GetFtpConnection(profile.address, profile.userId,
                                                                  profile.password, 0, true);
        app.ftpCurrentDir = QStringLiteral("/");
        QFile::remove(Target());
        CMessageBoxScript boxes; // no box at all
        {
            CCommOperation operation(true);
            if (upload) {
                ASSERT_TRUE(WriteFile(Target(), content));
                ASSERT_TRUE(operation.Dialog().UploadFile(Target(), QStringLiteral("/f.bin")));
                EXPECT_TRUE(ReadFile(server.Root() + QStringLiteral("/f.bin")) == content);
            } else {
                server.MakeFile(QStringLiteral("f.bin"), content);
                ASSERT_TRUE(operation.Dialog().DownloadFile(QStringLiteral("/f.bin"), Target()));
                EXPECT_TRUE(ReadFile(Target()) == content);
            }
        }
        const QStringList log = server.LogLines();
        EXPECT_EQ(log.filter(QStringLiteral(" BROKEN")).size(), 1);
        EXPECT_EQ(server.CountCommands(QStringLiteral("LOGIN")), 2);
        // Resumed part-way, not sent again from the start.
        const QStringList rests = log.filter(QStringLiteral(" REST "));
        ASSERT_EQ(rests.size(), 1);
        const qint64 at = rests.first().section(QLatin1Char(' '), 2).toLongLong();
        EXPECT_GT(at, 0);
        EXPECT_LT(at, size);
        CCommStatusDialog::Disconnect();
    }
}

TEST_F(CTransferResumeTest, AFailureOfItsOwnAfterAResumeEndsTheCopy)
{
    // The disk fills during the resumed pass: that failure is shown once and ends the copy;
    // the break before it earns no further login.
    fake.SetFile("/f.bin", Pattern(downloadSize));
    Connect();
    struct FileSizeLimit
    {
        rlimit before{};
        FileSizeLimit()
        {
            std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
            getrlimit(RLIMIT_FSIZE, &before);
            const rlimit limit{downloadSize * 3 / 4, before.rlim_max};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &before); }
    } full;
    CMessageBoxScript boxes;
    boxes.Expect(FileMessages::CopyFileText(), FileMessages::CopyFileCaption(), MsgIcon::Stop);
    CCommOperation operation(true);
    EXPECT_FALSE(operation.Dialog().DownloadFile(QStringLiteral("/f.bin"), Target()));
    EXPECT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(fake.Count("USER"), 2);
    EXPECT_EQ(fake.Count("RETR"), 2);
    EXPECT_FALSE(QFile::exists(Target()));
}
