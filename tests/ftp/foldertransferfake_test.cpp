// Folder transfers against a server whose listings disagree with its files: the sizes a
// level's listing gives stand for the server's word only while the bytes agree with them;
// and against one whose digests disagree, asked on a connection beside the copies.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/digestside.h"
#include "ftp/filemessages.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "tests/fixtures/fakeftpserver.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>

#include <gtest/gtest.h>

using CSession = CFakeFtpServer::CSession;

namespace {

const QString kCopyError = FileMessages::CopyFileText();
const QString kCancelled = FileMessages::CancelledText();

QByteArray ListingLine(const QByteArray& name, qsizetype size)
{
    return "-rw-r--r--   1 owner group " + QByteArray::number(size) + " Jan 01 12:00 " + name +
           "\r\n";
}

} // namespace

class CFolderTransferFakeTest : public testing::Test
{
protected:
    void SetUp() override
    {
        frame = MakeMainFrame();
        fake.SetFeatures({" SIZE"});
        fake.On("MKD", [](CSession& s, const QByteArray&) { s.Send("257 Created."); });
        local = TestCaseFolder() + QStringLiteral("/local");
        ASSERT_TRUE(QDir().mkpath(local));
    }
    void TearDown() override { CCommStatusDialog::Disconnect(); }

    void Connect() { ConnectMainTo(fake.Address()); }

    CFakeFtpServer fake;
    CMainFrame* frame = nullptr;
    QString local;
};

TEST_F(CFolderTransferFakeTest, ADownloadHoldsTheBytesToTheListingOrElseToTheFileItself)
{
    struct Case
    {
        const char* what;
        qsizetype listed;
        qsizetype stored; // what SIZE tells
        qsizetype sent;
        bool copied;
        int sizeQueries;
    };
    const Case table[] = {
        {"the listing agrees with the bytes", 3000, 3000, 3000, true, 0},
        {"the listing is older than the file", 2000, 3000, 3000, true, 1},
        {"fewer bytes came than the listing and the file say", 3000, 3000, 2000, false, 1},
    };
    int run = 0;
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        const QByteArray content(c.sent, 'd');
        fake.SetListing(ListingLine("f.bin", c.listed));
        fake.SetFile("/d/f.bin", QByteArray(c.stored, 's'));
        fake.On("RETR", [content](CSession& s, const QByteArray&) {
            s.Send("150 Opening data connection.");
            const int data = s.OpenData();
            s.SendData(data, content);
            close(data);
            s.Send("226 Done.");
        });
        Connect();
        const int before = fake.Count("SIZE");
        const QString target = local + QStringLiteral("/d") + QString::number(++run);
        CMessageBoxScript boxes;
        if (!c.copied)
            boxes.Expect(kCopyError, FileMessages::CopyFileCaption(), MsgIcon::Stop);
        {
            CCommOperation operation(true);
            EXPECT_EQ(operation.Dialog().DownloadFolder(QStringLiteral("/d"), target), c.copied);
        }
        EXPECT_EQ(fake.Count("SIZE") - before, c.sizeQueries);
        EXPECT_TRUE(ReadFile(target + QStringLiteral("/f.bin")) ==
                    (c.copied ? content : QByteArray("(missing)")));
        CCommStatusDialog::Disconnect();
    }
}

TEST_F(CFolderTransferFakeTest, AnUploadedFolderIsHeldToTheStoredSizes)
{
    const QString source = local + QStringLiteral("/up");
    ASSERT_TRUE(QDir().mkpath(source));
    for (const char* name : {"a.bin", "b.bin"}) {
        QFile file(source + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(2500, 'u'));
    }
    struct Case
    {
        const char* what;
        QByteArray listing;
        qsizetype keep; // of each file's bytes, what the server stores
        bool copied;
        int sizeQueries;
    };
    const Case table[] = {
        {"the listing shows both whole", ListingLine("a.bin", 2500) + ListingLine("b.bin", 2500),
         2500, true, 0},
        {"the listing leaves one out", ListingLine("b.bin", 2500), 2500, true, 1},
        {"the server stored them short", ListingLine("a.bin", 2000) + ListingLine("b.bin", 2000),
         2000, false, 1},
        {"a listing that rounds is asked past",
         ListingLine("a.bin", 2000) + ListingLine("b.bin", 2000), 2500, true, 2},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        fake.SetListing(c.listing);
        fake.On("STOR", [this, keep = c.keep](CSession& s, const QByteArray& path) {
            s.Send("150 Ready for data.");
            const int data = s.OpenData();
            const QByteArray content = s.ReceiveData(data);
            close(data);
            fake.SetFile(path, content.left(keep));
            s.Send("226 Stored.");
        });
        Connect();
        const int before = fake.Count("SIZE");
        CMessageBoxScript boxes;
        if (!c.copied)
            boxes.Expect(kCopyError, FileMessages::CopyFileCaption(), MsgIcon::Stop);
        {
            CCommOperation operation(true);
            EXPECT_EQ(operation.Dialog().UploadFolder(source, QStringLiteral("/up")), c.copied);
        }
        EXPECT_EQ(fake.Count("SIZE") - before, c.sizeQueries);
        CCommStatusDialog::Disconnect();
    }
}

TEST_F(CFolderTransferFakeTest, WhatADownloadCannotTakeIsToldAtTheEndAndNeverRetrieved)
{
    // 300 characters: no local file system here holds such a name.
    const QByteArray longName(300, 'n');
    fake.SetListing(ListingLine("f.bin", 4) + ListingLine(longName, 4) +
                    "prw-r--r--   1 owner group 0 Jan 01 12:00 fifo\r\n"
                    "crw-r--r--   1 owner group 1, 3 Jan 01 12:00 null\r\n");
    fake.SetFile("/d/f.bin", "data");
    fake.SetFile("/d/" + longName, "long");
    Connect();
    const QString target = local + QStringLiteral("/d");
    CMessageBoxScript boxes;
    boxes.Expect(QStringLiteral("3 items were not copied:\n\n/d/%1 (name too long for this "
                                "computer)\n/d/fifo (neither a file nor a folder on the server)"
                                "\n/d/null (neither a file nor a folder on the server)")
                     .arg(QString::fromLatin1(longName)),
                 QStringLiteral("Items Not Copied"), MsgIcon::Warning);
    {
        CCommOperation operation(true);
        EXPECT_TRUE(operation.Dialog().DownloadFolder(QStringLiteral("/d"), target));
    }
    EXPECT_EQ(boxes.Pending(), 0);
    EXPECT_EQ(fake.Count("RETR"), 1);
    EXPECT_EQ(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("f.bin")});

    // The same name as a single download is refused before the server is asked for it.
    const QString name = QString::fromLatin1(longName);
    boxes.Expect(QStringLiteral("The name \"%1\" is too long for this computer's file system: "
                                "the file cannot be copied here.")
                     .arg(name),
                 QStringLiteral("Error Copying File"), MsgIcon::Stop);
    {
        CCommOperation operation(true);
        EXPECT_FALSE(operation.Dialog().DownloadFile("/d/" + name, local + "/" + name));
    }
    EXPECT_EQ(fake.Count("RETR"), 1);
    EXPECT_EQ(QDir(local).entryList(QDir::Files), QStringList());
}

namespace {

// The sessions that were sent a verb, as the server saw them.
class CSessionLog
{
public:
    void Note(const CSession& session)
    {
        const std::lock_guard lock(mutex);
        sessions.insert(&session);
    }
    std::set<const CSession*> Sessions() const
    {
        const std::lock_guard lock(mutex);
        return sessions;
    }

private:
    mutable std::mutex mutex;
    std::set<const CSession*> sessions;
};

bool Disjoint(const std::set<const CSession*>& a, const std::set<const CSession*>& b)
{
    for (const CSession* session : a) {
        if (b.count(session))
            return false;
    }
    return true;
}

} // namespace

TEST_F(CFolderTransferFakeTest, DigestsAreAskedBesideTheCopiesAndAMismatchFailsTheFolder)
{
    // Three files a folder copy moves; the server's digest of one may differ from its bytes.
    const QByteArray names[] = {"a.bin", "b.bin", "c.bin"};
    const QString source = local + QStringLiteral("/up");
    ASSERT_TRUE(QDir().mkpath(source));
    QByteArray listing;
    for (const QByteArray& name : names) {
        const QByteArray content(3000, name[0]);
        fake.SetFile("/d/" + name, content);
        listing += ListingLine(name, content.size());
        QFile file(source + QLatin1Char('/') + QString::fromLatin1(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    fake.SetListing(listing);
    // SHA-256 is to be chosen first: once for the side connection, not before each file.
    fake.SetFeatures({" SIZE", " HASH SHA-1*;SHA-256"});
    const auto sent = [this](const char* prefix) {
        const QList<QByteArray> commands = fake.Commands();
        return std::count_if(commands.begin(), commands.end(),
                             [prefix](const QByteArray& line) { return line.startsWith(prefix); });
    };
    CSessionLog copying;
    CSessionLog hashing;
    for (const QByteArray verb : {"RETR", "STOR"}) {
        fake.On(verb, [this, &copying, verb](CSession& s, const QByteArray& path) {
            copying.Note(s);
            if (verb == "RETR")
                return s.Transfer(fake.File(path));
            s.Send("150 Ready for data.");
            const int data = s.OpenData();
            fake.SetFile(path, s.ReceiveData(data));
            close(data);
            s.Send("226 Stored.");
        });
    }
    QByteArray differs; // the file whose digest the server gets wrong
    // A server that takes one login at a time: the digests are asked over the copy's own.
    std::atomic<bool> oneLogin{false};
    fake.On("PASS", [&oneLogin](CSession& s, const QByteArray&) {
        s.Send(oneLogin ? "530 Too many sessions." : "230 Logged in.");
    });
    fake.On("HASH", [this, &hashing, &differs, &oneLogin](CSession& s, const QByteArray& path) {
        if (!oneLogin)
            hashing.Note(s);
        const QByteArray sha256 =
            path.endsWith(differs)
                ? QByteArray(64, '0')
                : QCryptographicHash::hash(fake.File(path), QCryptographicHash::Sha256).toHex();
        s.Send("213 SHA-256 0-3000 " + sha256 + " " + path);
    });
    struct Case
    {
        const char* what;
        bool upload;
        QByteArray differs;
        bool oneLogin = false;
        int parallel = 1; // files at once: each helper's engine has a side connection of its own
    };
    const Case table[] = {
        {"download, all held", false, "none"},
        {"download, one differs", false, "b.bin"},
        {"upload, all held", true, "none"},
        {"upload, one differs", true, "b.bin"},
        {"upload, one login, one differs", true, "b.bin", true},
        {"upload, one login, all held", true, "none", true},
        {"download two at once, one differs", false, "b.bin", false, 2},
        {"upload two at once, all held", true, "none", false, 2},
    };
    int run = 0;
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        differs = c.differs;
        oneLogin = false;
        const bool copied = c.differs == "none";
        Connect();
        oneLogin = c.oneLogin;
        theApp().parallelTransfers = c.parallel;
        CMessageBoxScript boxes;
        if (!copied)
            boxes.Expect(kCopyError, FileMessages::CopyFileCaption(), MsgIcon::Stop);
        const QString target = local + QStringLiteral("/d") + QString::number(++run);
        const auto chosenBefore = sent("OPTS HASH");
        const auto askedBefore = sent("HASH ");
        {
            CCommOperation operation(true);
            CCommStatusDialog& dialog = operation.Dialog();
            EXPECT_EQ(c.upload ? dialog.UploadFolder(source, QStringLiteral("/d"))
                               : dialog.DownloadFolder(QStringLiteral("/d"), target),
                      copied);
            if (copied && c.parallel == 1) {
                EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("statusLine"))->text(),
                          FileMessages::CheckedByDigestText());
            }
        }
        EXPECT_EQ(boxes.Pending(), 0);
        if (!c.oneLogin) {
            EXPECT_GE(sent("OPTS HASH") - chosenBefore, 1);
            EXPECT_LE(sent("OPTS HASH") - chosenBefore, c.parallel);
            EXPECT_GE(sent("HASH ") - askedBefore, 2);
        }
        // A download that did not hold never takes its place; one before it does.
        if (!c.upload) {
            const auto there = [&target](const char* name) {
                return QFile::exists(target + QLatin1Char('/') + QLatin1String(name));
            };
            EXPECT_TRUE(there("a.bin"));
            EXPECT_EQ(there("b.bin"), copied);
        }
        CCommStatusDialog::Disconnect();
        EXPECT_EQ(CDigestSide::RunningThreads(), 0);
    }
    // Every digest was asked on a connection that moved no file.
    EXPECT_FALSE(hashing.Sessions().empty());
    EXPECT_TRUE(Disjoint(hashing.Sessions(), copying.Sessions()));
}

TEST_F(CFolderTransferFakeTest, CancelDropsThePendingChecksAndNoDownloadTakesItsPlace)
{
    fake.SetListing(ListingLine("a.bin", 3000) + ListingLine("b.bin", 3000));
    fake.SetFile("/d/a.bin", QByteArray(3000, 'a'));
    fake.SetFile("/d/b.bin", QByteArray(3000, 'b'));
    fake.SetFeatures({" SIZE", " HASH SHA-256*"});
    // The server holds every digest answer until the side connection goes.
    std::atomic<bool> asked{false};
    std::atomic<bool> sideGone{false};
    fake.On("HASH", [&](CSession& s, const QByteArray&) {
        asked = true;
        s.ReadCommand(std::chrono::seconds(20)); // returns when the client closes
        sideGone = true;
    });
    Connect();
    CMessageBoxScript boxes;
    boxes.Allow(kCancelled);
    const QString target = local + QStringLiteral("/d");
    {
        CCommOperation operation(true);
        const CCancelWhen press(operation.Dialog(), [&asked] { return asked.load(); });
        EXPECT_FALSE(operation.Dialog().DownloadFolder(QStringLiteral("/d"), target));
        // The side connection ended with the copy, before the operation.
        EXPECT_EQ(CDigestSide::RunningThreads(), 0);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return sideGone.load(); }, 5000));
    EXPECT_FALSE(QFile::exists(target + QStringLiteral("/a.bin")));
    EXPECT_FALSE(QFile::exists(target + QStringLiteral("/b.bin")));
}
