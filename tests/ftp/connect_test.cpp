// Connecting to a real server, entering the initial folder, reading folders, disconnecting.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testhelpers.h"

#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

const QString kConnectError = FileMessages::ConnectErrorText();
const QString kInitialDirError = QStringLiteral("The selected Initial Directory does not exist.");

const DirEntry* Entry(const QString& name)
{
    for (const DirEntry& entry : theApp().ftpEntries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

QStringList Names()
{
    QStringList names;
    for (const DirEntry& entry : theApp().ftpEntries) {
        if (!entry.IsDots())
            names.append(entry.name);
    }
    names.sort();
    return names;
}

} // namespace

class CConnectTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // Refused logins answered at once: pyftpdlib waits three seconds by default.
        server =
            new CFtpServerFixture({QStringLiteral("--auth-failed-delay"), QStringLiteral("0")});
        server->MakeFile(QStringLiteral("top.txt"), "top");
        server->MakeFolder(QStringLiteral("sub"));
        server->MakeFolder(QStringLiteral("empty"));
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(server->IsRunning());
        server->ClearLog();
        frame = MakeMainFrame();
    }

    static void UseProfile(const QString& user, const QString& password,
                           const QString& initialDir = {}, const QString& address = {})
    {
        ProfileRecord& profile = theApp().activeProfile;
        profile.name = QStringLiteral("test");
        profile.address = address.isEmpty() ? server->Address() : address;
        profile.userId = user;
        profile.password = password;
        profile.initialDir = initialDir;
    }

    // What the FTP tree does when it is built: connect, then read the folder.
    static bool ConnectAndRead()
    {
        CCommOperation operation;
        if (!operation.Dialog().Connect())
            return false;
        operation.Dialog().ReadFtpDirectory();
        return true;
    }

    static bool Logged(const QString& what)
    {
        for (const QString& line : server->LogLines()) {
            if (line.section(QLatin1Char(' '), 1) == what)
                return true;
        }
        return false;
    }

    static CFtpServerFixture* server;
    CMainFrame* frame = nullptr;
};

CFtpServerFixture* CConnectTest::server = nullptr;

TEST_F(CConnectTest, ConnectsAndReadsTheStartFolder)
{
    CMessageBoxScript boxes;
    UseProfile(QStringLiteral("user"), QStringLiteral("secret"));
    ASSERT_TRUE(ConnectAndRead());

    EXPECT_TRUE(Logged(QStringLiteral("LOGIN user")));
    EXPECT_EQ(server->CountCommands(QStringLiteral("CWD")), 0);
    EXPECT_EQ(theApp().ftpCurrentDir, QStringLiteral("/"));
    EXPECT_TRUE(theApp().internetSession);
    ASSERT_TRUE(theApp().ftpConnection);
    EXPECT_TRUE(theApp().connectDone);
    EXPECT_FALSE(theApp().connectFailed);
    EXPECT_EQ(Names(), (QStringList{QStringLiteral("empty"), QStringLiteral("sub"),
                                    QStringLiteral("top.txt")}));
    EXPECT_FALSE(theApp().busy);
    EXPECT_TRUE(frame->isEnabled());
}

TEST_F(CConnectTest, LogsInWithTheStoredUserWhateverTheAnonymousFlagSays)
{
    struct Case
    {
        const char* user;
        const char* password;
        bool anonymous;
        const char* login;
    };
    const Case table[] = {
        {"", "", true, "LOGIN anonymous"},
        {"", "", false, "LOGIN anonymous"},
        {"reader", "reader", true, "LOGIN reader"},
    };
    for (const Case& c : table) {
        server->ClearLog();
        UseProfile(QString::fromLatin1(c.user), QString::fromLatin1(c.password));
        theApp().activeProfile.anonymous = c.anonymous;
        ASSERT_TRUE(ConnectAndRead()) << c.login;
        EXPECT_TRUE(Logged(QString::fromLatin1(c.login))) << c.login;
        EXPECT_EQ(theApp().ftpCurrentDir, QStringLiteral("/"));
        CCommStatusDialog::Disconnect();
    }
}

TEST_F(CConnectTest, AFailedLoginLeavesNothingConnected)
{
    struct Case
    {
        QString address;
        const char* user;
        const char* password;
    };
    const Case table[] = {
        {server->Address(), "user", "wrong"},
        {server->Address(), "nobody", "secret"},
        {QStringLiteral("127.0.0.1:1"), "user", "secret"}, // nothing listens there
        {QStringLiteral("[::1"), "user", "secret"},        // not an address at all
    };
    for (const Case& c : table) {
        CMessageBoxScript boxes;
        boxes.Expect(kConnectError, FileMessages::ConnectErrorCaption(), MsgIcon::Stop);
        UseProfile(QString::fromLatin1(c.user), QString::fromLatin1(c.password), {}, c.address);
        EXPECT_FALSE(ConnectAndRead()) << c.address.toStdString() << " " << c.user;
        ASSERT_EQ(boxes.Shown().size(), 1);
        EXPECT_EQ(boxes.Shown()[0].owner, frame);
        EXPECT_FALSE(theApp().internetSession);
        EXPECT_FALSE(theApp().ftpConnection);
        EXPECT_TRUE(theApp().connectFailed);
        EXPECT_TRUE(theApp().ftpEntries.isEmpty());
        EXPECT_FALSE(theApp().busy);
        EXPECT_TRUE(frame->isEnabled());
    }
}

TEST_F(CConnectTest, InitialDirectory)
{
    struct Case
    {
        const char* initialDir;
        bool missing;
        const char* currentDir;
        int cwds;
        QStringList names;
    };
    const QStringList root{QStringLiteral("empty"), QStringLiteral("sub"),
                           QStringLiteral("top.txt")};
    const Case table[] = {
        {"", false, "/", 0, root},
        {"/sub", false, "/sub", 1, {}},
        {"sub", false, "/sub", 1, {}},
        {"/not-there", true, "/", 1, root},
    };
    for (const Case& c : table) {
        server->ClearLog();
        CMessageBoxScript boxes;
        if (c.missing)
            boxes.Expect(kInitialDirError, QStringLiteral("Error with Initial Directory"),
                         MsgIcon::Stop);
        UseProfile(QStringLiteral("user"), QStringLiteral("secret"),
                   QString::fromLatin1(c.initialDir));
        ASSERT_TRUE(ConnectAndRead()) << c.initialDir;
        EXPECT_EQ(boxes.Shown().size(), c.missing ? 1 : 0) << c.initialDir;
        EXPECT_EQ(theApp().ftpCurrentDir, QString::fromLatin1(c.currentDir)) << c.initialDir;
        EXPECT_EQ(server->CountCommands(QStringLiteral("CWD")), c.cwds) << c.initialDir;
        EXPECT_EQ(Names(), c.names) << c.initialDir;
        CCommStatusDialog::Disconnect();
    }
}

TEST_F(CConnectTest, ReadsNamesTypesSizesAndTimes)
{
    server->MakeFile(QStringLiteral("listing/a.txt"), QByteArray(123, 'a'));
    server->MakeFolder(QStringLiteral("listing/folder"));
    // Beyond 32 bits in size and time; sparse, so it costs no disk.
    const QString big = server->MakeFile(QStringLiteral("listing/big.bin"));
    ASSERT_TRUE(QFile::resize(big, 5'000'000'000LL));
    const QDateTime modified(QDate(2040, 1, 2), QTime(3, 4, 5), QTimeZone::utc());
    QFile file(server->Root() + QStringLiteral("/listing/a.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
    file.close();

    UseProfile(QStringLiteral("user"), QStringLiteral("secret"), QStringLiteral("/listing"));
    ASSERT_TRUE(ConnectAndRead());
    EXPECT_EQ(Names(), (QStringList{QStringLiteral("a.txt"), QStringLiteral("big.bin"),
                                    QStringLiteral("folder")}));
    const DirEntry* a = Entry(QStringLiteral("a.txt"));
    const DirEntry* bigEntry = Entry(QStringLiteral("big.bin"));
    const DirEntry* folder = Entry(QStringLiteral("folder"));
    ASSERT_TRUE(a && bigEntry && folder);
    EXPECT_EQ(a->attributes, 0u);
    EXPECT_EQ(a->size, 123u);
    EXPECT_EQ(a->writeTime, modified.toSecsSinceEpoch());
    EXPECT_EQ(bigEntry->attributes, 0u);
    EXPECT_EQ(bigEntry->size, 5'000'000'000ULL);
    EXPECT_EQ(folder->attributes, kFolderAttribute);
}

TEST_F(CConnectTest, AnEmptyFolderGivesNoEntriesAndNoMessage)
{
    CMessageBoxScript boxes;
    theApp().ftpEntries.append(DirEntry{0, 0, 0, 0, 1, QStringLiteral("stale")});
    UseProfile(QStringLiteral("user"), QStringLiteral("secret"), QStringLiteral("/empty"));
    ASSERT_TRUE(ConnectAndRead());
    EXPECT_EQ(Names(), QStringList());
}

TEST_F(CConnectTest, StepTextsGoToTheConnectLineOrToTheStatusBar)
{
    for (const bool showCommWindow : {true, false}) {
        theApp().showCommWindow = showCommWindow;
        frame->SetStatusText(0, QStringLiteral("Ready"));
        UseProfile(QStringLiteral("user"), QStringLiteral("secret"));
        {
            CCommOperation operation;
            CCommStatusDialog& dialog = operation.Dialog();
            const auto* connectLine = dialog.findChild<QLabel*>(QStringLiteral("connectLine"));
            ASSERT_TRUE(connectLine);
            EXPECT_EQ(dialog.isVisible(), showCommWindow);

            ASSERT_TRUE(dialog.Connect());
            if (showCommWindow) {
                EXPECT_TRUE(connectLine->isVisible());
                EXPECT_EQ(connectLine->text(),
                          QStringLiteral("Reading FTP Directory - Please Wait"));
                EXPECT_EQ(frame->StatusText(0), QStringLiteral("Ready"));
            } else {
                EXPECT_EQ(connectLine->text(), QString());
                EXPECT_EQ(frame->StatusText(0),
                          QStringLiteral("Connecting to FTP Server - Please Wait"));
            }
            dialog.ReadFtpDirectory();
            EXPECT_EQ(frame->StatusText(0),
                      showCommWindow ? QStringLiteral("Ready")
                                     : QStringLiteral("Reading FTP Directory - Please Wait"));
        }
        CCommStatusDialog::Disconnect();
    }
}

TEST_F(CConnectTest, ReadingAgainAfterAChangeOfFolder)
{
    UseProfile(QStringLiteral("user"), QStringLiteral("secret"));
    ASSERT_TRUE(ConnectAndRead());
    {
        // What the FTP list does for another folder: the session exists, so no new login.
        CCommOperation operation;
        theApp().ftpConnection->SetCurrentDirectory(QStringLiteral("/sub"));
        operation.Dialog().ReadFtpDirectory();
    }
    EXPECT_EQ(Names(), QStringList());
    EXPECT_EQ(server->CountCommands(QStringLiteral("LOGIN")), 1);
}

TEST_F(CConnectTest, DisconnectClosesTheConnectionAndTheSession)
{
    UseProfile(QStringLiteral("user"), QStringLiteral("secret"));
    ASSERT_TRUE(ConnectAndRead());
    CCommStatusDialog::Disconnect();
    EXPECT_FALSE(theApp().ftpConnection);
    EXPECT_FALSE(theApp().internetSession);
    EXPECT_TRUE(
        QTest::qWaitFor([] { return server->CountCommands(QStringLiteral("QUIT")) == 1; }, 5000));
    // And again with nothing open: nothing happens.
    CCommStatusDialog::Disconnect();
}
