// A part file that an earlier run of the program left of a download: the next download of
// the same server file to the same place offers to go on with it. A file of the part name
// that the program did not make, or one that changed since, is never offered nor touched.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "ftp/transferresume.h"
#include "inet/internetsession.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

constexpr qsizetype kSize = 3 * 1024 * 1024;

QByteArray Pattern(qsizetype size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + (i * 7 + i / 251 + seed) % 26);
    return bytes;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

quint64 Inode(const QString& path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class CPartResumeTest : public testing::Test
{
protected:
    void SetUp() override
    {
        frame = MakeMainFrame();
        local = TestCaseFolder() + QStringLiteral("/local");
        ASSERT_TRUE(QDir().mkpath(local));
    }
    void TearDown() override
    {
        CCommStatusDialog::Disconnect();
        CTransferResume::SetFirstPause(1000ms);
    }

    // A fresh start of the program: a new session and login, nothing kept in memory.
    static void Connect(const CFtpServerFixture& server)
    {
        CCommStatusDialog::Disconnect();
        CVantorApp& app = theApp();
        app.activeProfile.name = QStringLiteral("test");
        app.activeProfile.address = server.Address();
        app.activeProfile.userId = QString::fromLatin1(CFtpServerFixture::kUser);
        app.activeProfile.password = QString::fromLatin1(CFtpServerFixture::kPassword);
        app.internetSession = std::make_unique<CInternetSession>();
        app.ftpConnection = app.internetSession->GetFtpConnection(
            server.Address(), app.activeProfile.userId, app.activeProfile.password, 0, true);
        app.ftpCurrentDir = QStringLiteral("/");
    }

    // A download that the server breaks a third of the way in, cancelled while it waits to
    // log in again: as a run of the program that ended in the middle of the file.
    void InterruptedDownload()
    {
        CTransferResume::SetFirstPause(60s); // only the Cancel ends the wait
        CMessageBoxScript boxes;
        boxes.Allow(FileMessages::CancelledText());
        CCommOperation operation(true);
        QTimer press;
        QObject::connect(&press, &QTimer::timeout, [&] {
            const auto* status =
                operation.Dialog().findChild<QLabel*>(QStringLiteral("statusLine"));
            if (status->text().startsWith(QStringLiteral("Connection lost"))) {
                operation.Dialog().findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
                press.stop();
            }
        });
        press.start(0);
        EXPECT_FALSE(operation.Dialog().DownloadFile(QStringLiteral("/f.bin"), Target()));
        CTransferResume::SetFirstPause(10ms);
    }

    QString Target() const { return local + QStringLiteral("/f.bin"); }
    QString Part() const { return Target() + QStringLiteral(".part"); }

    CMainFrame* frame = nullptr;
    QString local;
};

TEST_F(CPartResumeTest, OnlyThePartFileOfAnEarlierRunOfTheSameServerFileIsOffered)
{
    enum class Before { EarlierRun, UsersOwnFile };
    enum class Change { None, ServerFile, PartFileReplaced };
    struct Case
    {
        const char* what;
        Before before;
        Change change;
        bool offered;
        MsgAnswer answer;
    };
    const Case table[] = {
        {"continued", Before::EarlierRun, Change::None, true, MsgAnswer::Yes},
        {"declined", Before::EarlierRun, Change::None, true, MsgAnswer::No},
        {"the server file changed", Before::EarlierRun, Change::ServerFile, false, MsgAnswer::No},
        {"another file in its place", Before::EarlierRun, Change::PartFileReplaced, false,
         MsgAnswer::No},
        {"the user's own x.part", Before::UsersOwnFile, Change::None, false, MsgAnswer::No},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        QDir(local).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(local));
        const bool earlier = c.before == Before::EarlierRun;
        CFtpServerFixture server(
            earlier ? QStringList{QStringLiteral("--break-after"), QString::number(kSize / 3)}
                    : QStringList{});
        ASSERT_TRUE(server.IsRunning());
        QByteArray content = Pattern(kSize, 0);
        const QString served = server.MakeFile(QStringLiteral("f.bin"), content);
        Connect(server);
        if (earlier) {
            InterruptedDownload();
            ASSERT_GT(QFileInfo(Part()).size(), 0);
            ASSERT_LT(QFileInfo(Part()).size(), kSize);
        } else {
            ASSERT_TRUE(WriteFile(Part(), "the user's own notes"));
        }
        if (c.change == Change::ServerFile) {
            content = Pattern(kSize, 1);
            server.MakeFile(QStringLiteral("f.bin"), content);
            const utimbuf later{std::time(nullptr) + 3600, std::time(nullptr) + 3600};
            ASSERT_EQ(::utime(QFile::encodeName(served).constData(), &later), 0);
        } else if (c.change == Change::PartFileReplaced) {
            const QString copy = local + QStringLiteral("/copy");
            ASSERT_TRUE(QFile::copy(Part(), copy));
            ASSERT_EQ(::rename(QFile::encodeName(copy).constData(),
                               QFile::encodeName(Part()).constData()),
                      0);
        }
        const QByteArray partBefore = ReadFile(Part());
        const quint64 inodeBefore = Inode(Part());

        Connect(server); // the program starts again
        server.ClearLog();
        CMessageBoxScript boxes;
        if (c.offered)
            boxes.Expect(FileMessages::ContinuePartText(Part(), partBefore.size()),
                         FileMessages::ContinuePartCaption(), MsgIcon::Question, c.answer);
        {
            CCommOperation operation(true);
            EXPECT_TRUE(operation.Dialog().DownloadFile(QStringLiteral("/f.bin"), Target()));
        }
        EXPECT_TRUE(ReadFile(Target()) == content);
        const QStringList rests = server.LogLines().filter(QStringLiteral(" REST "));
        if (c.offered && c.answer == MsgAnswer::Yes) {
            // Only what the part file lacked came over the network.
            ASSERT_EQ(rests.size(), 1);
            EXPECT_EQ(rests.first().section(QLatin1Char(' '), 2).toLongLong(), partBefore.size());
            EXPECT_EQ(Inode(Target()), inodeBefore);
            EXPECT_FALSE(QFileInfo::exists(Part()));
        } else {
            EXPECT_TRUE(rests.isEmpty());
            // Left exactly as it was.
            EXPECT_TRUE(ReadFile(Part()) == partBefore);
            EXPECT_EQ(Inode(Part()), inodeBefore);
        }
        EXPECT_FALSE(QFileInfo::exists(Target() + QStringLiteral("~2.part")));
        CCommStatusDialog::Disconnect();
    }
}
