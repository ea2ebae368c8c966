// What a real server will not do on demand: slow logins, odd listings, failed listings,
// and a stalled reply that the user cancels.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/connectattempt.h"
#include "ftp/filemessages.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "tests/fixtures/fakeftpserver.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testhelpers.h"

#include <QDateTime>
#include <QPushButton>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using CSession = CFakeFtpServer::CSession;

namespace {

const QString kConnectError = FileMessages::ConnectErrorText();

// Shortens the wait for the login for one test.
class CConnectWaitLimit
{
public:
    explicit CConnectWaitLimit(std::chrono::milliseconds limit)
    {
        CCommStatusDialog::SetConnectWaitLimit(limit);
    }
    ~CConnectWaitLimit()
    {
        CCommStatusDialog::SetConnectWaitLimit(CCommStatusDialog::kConnectWaitLimit);
    }
    CConnectWaitLimit(const CConnectWaitLimit&) = delete;
    CConnectWaitLimit& operator=(const CConnectWaitLimit&) = delete;
};

qint64 Utc(int year, int month, int day, int hour = 0, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), QTimeZone::utc())
        .toSecsSinceEpoch();
}

} // namespace

class CConnectFakeTest : public testing::Test
{
protected:
    void SetUp() override
    {
        frame = MakeMainFrame();
        ProfileRecord& profile = theApp().activeProfile;
        profile.name = QStringLiteral("fake");
        profile.address = fake.Address();
        profile.userId = QStringLiteral("u");
        profile.password = QStringLiteral("p");
    }
    void TearDown() override
    {
        // The connection first: it talks to the fake server, which goes after this.
        loginReleased = true;
        CCommStatusDialog::Disconnect();
    }

    void SlowLogin(std::chrono::milliseconds delay)
    {
        fake.On("PASS", [delay](CSession& s, const QByteArray&) {
            s.Stall(delay);
            s.Send("230 Logged in at last.");
        });
    }

    // The login is answered only once the test releases it (or after a minute).
    void HeldLogin()
    {
        fake.On("PASS", [this](CSession& s, const QByteArray&) {
            for (int i = 0; i < 6000 && !loginReleased; ++i)
                std::this_thread::sleep_for(10ms);
            s.Send("230 Logged in at last.");
        });
    }

    // Before the server, which ends its sessions when it goes.
    std::atomic<bool> loginReleased{false};
    CFakeFtpServer fake;
    CMainFrame* frame = nullptr;
};

TEST_F(CConnectFakeTest, ALoginSlowerThanTheLimitIsReportedAndStoppedAtOnce)
{
    // The server holds the login until the wait has given up, however late that is.
    CConnectWaitLimit limit(150ms);
    HeldLogin();
    CMessageBoxScript boxes;
    boxes.Expect(kConnectError, FileMessages::ConnectErrorCaption(), MsgIcon::Stop);
    {
        CCommOperation operation;
        EXPECT_FALSE(operation.Dialog().Connect());
    }
    EXPECT_FALSE(theApp().internetSession);
    EXPECT_FALSE(theApp().ftpConnection);
    EXPECT_TRUE(theApp().connectFailed);
    ASSERT_EQ(boxes.Shown().size(), 1);
    EXPECT_TRUE(boxes.Shown()[0].explanation.contains(QLatin1String("did not answer in time")));
    EXPECT_TRUE(boxes.Shown()[0].details.contains(QLatin1String("did not end within")));

    // The worker gives up its wait for the server, which still holds the login, and leaves
    // the program alone.
    EXPECT_TRUE(QTest::qWaitFor([] { return CConnectAttempt::RunningWorkers() == 0; }, 5000));
    EXPECT_FALSE(theApp().internetSession);
    EXPECT_FALSE(theApp().ftpConnection);
    loginReleased = true;
}

TEST_F(CConnectFakeTest, NoLoginWorkerOutlivesTheProgramsEnd)
{
    CConnectWaitLimit limit(150ms);
    SlowLogin(60s);
    CMessageBoxScript boxes;
    boxes.Allow(kConnectError);
    {
        CCommOperation operation;
        EXPECT_FALSE(operation.Dialog().Connect());
    }
    // What exit does: every worker has ended when it returns, none detached.
    theApp().ExitInstance();
    EXPECT_EQ(CConnectAttempt::RunningWorkers(), 0);
}

TEST_F(CConnectFakeTest, ALoginFasterThanTheLimitIsUsedAtOnce)
{
    // A wait that ran to this limit would run into the suite's time limit instead.
    CConnectWaitLimit limit(3600s);
    SlowLogin(100ms);
    {
        CCommOperation operation;
        ASSERT_TRUE(operation.Dialog().Connect());
    }
    EXPECT_TRUE(theApp().ftpConnection);
    EXPECT_EQ(theApp().ftpCurrentDir, QStringLiteral("/"));
    EXPECT_EQ(fake.Count("QUIT"), 0);
}

TEST_F(CConnectFakeTest, ServerOrderDotsAndAnythingButAFileAsAFolder)
{
    fake.SetListing("drwxr-xr-x  2 u g    4096 Mar 01  2021 .\r\n"
                    "drwxr-xr-x  9 u g    4096 Mar 01  2021 ..\r\n"
                    "-rw-r--r--  1 u g 6000000000 Jan 02  2020 zeta.iso\r\n"
                    "lrwxrwxrwx  1 u g       7 Feb 03  2019 link -> target\r\n"
                    "drwxr-xr-x  2 u g    4096 Mar 04  2018 alpha\r\n"
                    "-rw-r--r--  1 u g       0 Apr 05  2017 empty.txt\r\n");
    {
        CCommOperation operation;
        ASSERT_TRUE(operation.Dialog().Connect());
        operation.Dialog().ReadFtpDirectory();
    }
    struct Expected
    {
        const char* name;
        std::uint32_t attributes;
        std::uint64_t size;
        qint64 writeTime;
    };
    const Expected table[] = {
        {".", kFolderAttribute, 4096, Utc(2021, 3, 1)},
        {"..", kFolderAttribute, 4096, Utc(2021, 3, 1)},
        {"zeta.iso", 0, 6'000'000'000ULL, Utc(2020, 1, 2)},
        {"link", kFolderAttribute | kLinkAttribute, 7, Utc(2019, 2, 3)}, // CWD into it works
        {"alpha", kFolderAttribute, 4096, Utc(2018, 3, 4)},
        {"empty.txt", 0, 0, Utc(2017, 4, 5)},
    };
    const QList<DirEntry>& entries = theApp().ftpEntries;
    ASSERT_EQ(entries.size(), std::size(table));
    for (std::size_t i = 0; i < std::size(table); ++i) {
        const DirEntry& got = entries[static_cast<qsizetype>(i)];
        EXPECT_EQ(got.name, QString::fromLatin1(table[i].name)) << i;
        EXPECT_EQ(got.attributes, table[i].attributes) << table[i].name;
        EXPECT_EQ(got.size, table[i].size) << table[i].name;
        EXPECT_EQ(got.writeTime, table[i].writeTime) << table[i].name;
    }
}

TEST_F(CConnectFakeTest, AListingThatFailsSaysSoInsteadOfShowingAnEmptyFolder)
{
    fake.On("LIST",
            [](CSession& s, const QByteArray&) { s.Send("451 Local error in processing."); });
    CMessageBoxScript boxes;
    boxes.Expect(QStringLiteral("The program was unable to read the FTP directory."),
                 QStringLiteral("Error Reading FTP Directory"), MsgIcon::Stop);
    theApp().ftpEntries.append(DirEntry{0, 0, 0, 0, 1, QStringLiteral("stale")});
    {
        CCommOperation operation;
        ASSERT_TRUE(operation.Dialog().Connect());
        operation.Dialog().ReadFtpDirectory();
    }
    EXPECT_TRUE(theApp().ftpEntries.isEmpty());
}

TEST_F(CConnectFakeTest, AServerThatCannotTellItsFolderIsNotUsed)
{
    fake.On("PWD", [](CSession& s, const QByteArray&) { s.Send("500 Unknown command."); });
    CMessageBoxScript boxes;
    boxes.Expect(kConnectError);
    {
        CCommOperation operation;
        EXPECT_FALSE(operation.Dialog().Connect());
    }
    EXPECT_FALSE(theApp().ftpConnection);
    EXPECT_FALSE(theApp().internetSession);
}

TEST_F(CConnectFakeTest, CancelEndsACallThatWaitsOnAStalledServer)
{
    fake.On("CWD", [](CSession& s, const QByteArray&) {
        // Silent until the client gives up (its abort or its leaving), as a stalled server.
        s.ReadCommand(60s);
        s.Send("250 Ok.");
    });
    CCommOperation operation(true);
    CCommStatusDialog& dialog = operation.Dialog();
    ASSERT_TRUE(dialog.Connect());
    dialog.ShowTransferControls();
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("cancelButton"));
    ASSERT_TRUE(cancel);
    // Clicked once the server holds the command.
    const int cwdBefore = fake.Count("CWD");
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (fake.Count("CWD") == cwdBefore)
            return;
        press.stop();
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    press.start(10);

    // Ended by the click: the server would have answered "250 Ok." after its stall.
    EXPECT_FALSE(theApp().ftpConnection->SetCurrentDirectory(QStringLiteral("/stalled")));
    EXPECT_TRUE(dialog.cancelRequested);

    CMessageBoxScript boxes;
    boxes.Expect(FileMessages::CancelledText(), FileMessages::CancelledCaption(), MsgIcon::Stop);
    EXPECT_FALSE(dialog.PollCancel());
}
