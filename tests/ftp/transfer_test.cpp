// Copying one file to, from and on a real server: every byte arrives, the progress shows
// what the window promises, and a failure leaves the user's file alone.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRandomGenerator>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

const QString kCopyError = FileMessages::CopyFileText();

QByteArray RandomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(static_cast<quint32>(size));
    for (char& byte : bytes)
        byte = static_cast<char>(generator.generate() & 0xFF);
    return bytes;
}

void WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
    file.write(content);
}

enum class Direction { Upload, Download, ServerToServer };

const char* DirectionName(Direction direction)
{
    switch (direction) {
    case Direction::Upload:
        return "upload";
    case Direction::Download:
        return "download";
    case Direction::ServerToServer:
        return "server to server";
    }
    return "";
}

} // namespace

class CTransferTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { server = new CFtpServerFixture; }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(server->IsRunning());
        frame = MakeMainFrame();
        ProfileRecord& profile = theApp().activeProfile;
        profile.name = QStringLiteral("test");
        profile.address = server->Address();
        profile.userId = QString::fromLatin1(CFtpServerFixture::kUser);
        profile.password = QString::fromLatin1(CFtpServerFixture::kPassword);
        // Passive: pyftpdlib loses a control connection when two sessions use active data
        // connections one after the other (it closes a stale descriptor number).
        CVantorApp& app = theApp();
        app.internetSession = std::make_unique<CInternetSession>();
        app.ftpConnection = app.internetSession->GetFtpConnection(profile.address, profile.userId,
                                                                  profile.password, 0, true);
        ASSERT_TRUE(app.ftpConnection->GetCurrentDirectory(app.ftpCurrentDir));
        local = TestCaseFolder() + QStringLiteral("/local");
        ASSERT_TRUE(QDir().mkpath(local));
    }
    void TearDown() override { CCommStatusDialog::Disconnect(); }

    QString ServerPath(const QString& name) const
    {
        return theApp().ftpCurrentDir +
               (theApp().ftpCurrentDir.endsWith(QLatin1Char('/')) ? QString()
                                                                  : QStringLiteral("/")) +
               name;
    }
    QString ServerFile(const QString& name) const
    {
        return server->Root() + QLatin1Char('/') + name;
    }
    QString LocalFile(const QString& name) const { return local + QLatin1Char('/') + name; }

    static CFtpServerFixture* server;
    CMainFrame* frame = nullptr;
    QString local;
};

CFtpServerFixture* CTransferTest::server = nullptr;

TEST_F(CTransferTest, EveryDirectionMovesEveryByteWithTheProgressOfWholeBlocks)
{
    struct Case
    {
        qsizetype size;
        QString bytesCopied; // the last whole block's "n of total", or nothing below 1000
        int position;
    };
    const Case table[] = {
        {0, {}, 0},
        {999, {}, 0},
        {1000, QStringLiteral("1000 of 1000"), 100},
        {2500, QStringLiteral("2000 of 2500"), 80},
        {5 * 1024 * 1024, QStringLiteral("5242000 of 5242880"), 100},
    };
    for (const Direction direction :
         {Direction::Upload, Direction::Download, Direction::ServerToServer}) {
        for (const Case& c : table) {
            const QString name =
                QStringLiteral("f%1-%2.bin").arg(static_cast<int>(direction)).arg(c.size);
            const QByteArray content = RandomBytes(c.size);
            SCOPED_TRACE(testing::Message() << DirectionName(direction) << " " << c.size);
            CMessageBoxScript boxes;
            CCommOperation operation(true);
            CCommStatusDialog& dialog = operation.Dialog();
            QString copy;
            bool copied = false;
            switch (direction) {
            case Direction::Upload:
                WriteFile(LocalFile(name), content);
                copied = dialog.UploadFile(LocalFile(name), ServerPath(name));
                copy = ServerFile(name);
                break;
            case Direction::Download:
                server->MakeFile(name, content);
                copied = dialog.DownloadFile(ServerPath(name), LocalFile(name));
                copy = LocalFile(name);
                EXPECT_FALSE(QFileInfo::exists(LocalFile(name) + QStringLiteral(".part")));
                break;
            case Direction::ServerToServer:
                server->MakeFile(name, content);
                copied =
                    dialog.CopyFtpFile(ServerPath(name), ServerPath(QStringLiteral("c-") + name));
                copy = ServerFile(QStringLiteral("c-") + name);
                break;
            }
            EXPECT_TRUE(copied);
            EXPECT_TRUE(ReadFile(copy) == content);
            EXPECT_EQ(dialog.BytesCopiedText(), c.bytesCopied);
            EXPECT_EQ(dialog.ProgressPosition(), c.position);
            EXPECT_EQ(frame->StatusText(0), QStringLiteral("Ready"));
            EXPECT_EQ(boxes.ShownTexts(), QStringList());
        }
    }
}

TEST_F(CTransferTest, ADownloadThatFailsLeavesTheLocalFileAsItWas)
{
    const QByteArray mine = "the user's own bytes";
    WriteFile(LocalFile(QStringLiteral("kept.txt")), mine);
    CMessageBoxScript boxes;
    boxes.Expect(kCopyError, FileMessages::CopyFileCaption(), MsgIcon::Stop);
    CCommOperation operation(true);
    EXPECT_FALSE(operation.Dialog().DownloadFile(ServerPath(QStringLiteral("missing.txt")),
                                                 LocalFile(QStringLiteral("kept.txt"))));
    EXPECT_EQ(ReadFile(LocalFile(QStringLiteral("kept.txt"))), mine);
    EXPECT_FALSE(QFileInfo::exists(LocalFile(QStringLiteral("kept.txt.part"))));
    EXPECT_EQ(frame->StatusText(0), QStringLiteral("Ready"));
}

TEST_F(CTransferTest, ADownloadKeepsTheLinkAndThePermissionsOfTheFileItReplaces)
{
    server->MakeFile(QStringLiteral("new.txt"), "new content");
    const QString real = LocalFile(QStringLiteral("real.txt"));
    WriteFile(real, "old");
    ASSERT_TRUE(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner));
    const QFile::Permissions permissions = QFile::permissions(real);
    ASSERT_TRUE(QFile::link(real, LocalFile(QStringLiteral("link.txt"))));
    CMessageBoxScript boxes;
    CCommOperation operation(true);
    EXPECT_TRUE(operation.Dialog().DownloadFile(ServerPath(QStringLiteral("new.txt")),
                                                LocalFile(QStringLiteral("link.txt"))));
    EXPECT_TRUE(QFileInfo(LocalFile(QStringLiteral("link.txt"))).isSymLink());
    EXPECT_EQ(ReadFile(real), QByteArray("new content"));
    EXPECT_EQ(QFile::permissions(real), permissions);
}

TEST_F(CTransferTest, ANameWithNoRoomForThePartSuffixIsDownloadedAllTheSame)
{
    // 253 bytes: the name itself fits the file system, with ".part" it would not.
    const QString name = QString(249, QLatin1Char('n')) + QStringLiteral(".txt");
    server->MakeFile(name, "long");
    CMessageBoxScript boxes;
    CCommOperation operation(true);
    EXPECT_TRUE(operation.Dialog().DownloadFile(ServerPath(name), LocalFile(name)));
    EXPECT_EQ(ReadFile(LocalFile(name)), QByteArray("long"));
    EXPECT_EQ(QDir(local).entryList(QDir::Files), QStringList{name});
}

TEST_F(CTransferTest, ACopyOntoItselfIsRefusedBeforeAnythingIsOpened)
{
    const QByteArray content = RandomBytes(3000);
    server->MakeFile(QStringLiteral("same.bin"), content);
    const QString source = ServerPath(QStringLiteral("same.bin"));
    const QString spellings[] = {source, QStringLiteral("/./same.bin"),
                                 QStringLiteral("//same.bin"), QStringLiteral("same.bin")};
    for (const QString& destination : spellings) {
        SCOPED_TRACE(destination.toStdString());
        server->ClearLog();
        CMessageBoxScript boxes;
        boxes.Expect(FileMessages::SameFileText(), FileMessages::CopyFileCaption(), MsgIcon::Stop);
        CCommOperation operation(true);
        EXPECT_FALSE(operation.Dialog().CopyFtpFile(source, destination));
        EXPECT_EQ(server->CountCommands(QStringLiteral("STOR")), 0);
        EXPECT_EQ(server->CountCommands(QStringLiteral("RETR")), 0);
        EXPECT_TRUE(ReadFile(ServerFile(QStringLiteral("same.bin"))) == content);
    }
}

TEST_F(CTransferTest, LocalFilesThatCannotBeReadOrWrittenAreTheCopyError)
{
    server->MakeFile(QStringLiteral("down.txt"), "content");
    const QString readOnly = LocalFile(QStringLiteral("readonly"));
    ASSERT_TRUE(QDir().mkpath(readOnly));
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
    // The superuser writes into any folder of a normal file system; /proc takes no new file
    // from anyone.
    const QString unwritable = geteuid() == 0 ? QStringLiteral("/proc") : readOnly;
    struct Case
    {
        const char* what;
        Direction direction;
        QString localPath;
    };
    const Case table[] = {
        {"download into a read-only folder", Direction::Download,
         unwritable + QStringLiteral("/down.txt")},
        {"download into a missing folder", Direction::Download,
         LocalFile(QStringLiteral("none/down.txt"))},
        {"download onto a folder", Direction::Download, readOnly},
        {"upload of a missing file", Direction::Upload, LocalFile(QStringLiteral("none.txt"))},
        {"upload of a folder", Direction::Upload, local},
        // Opens, but every read fails.
        {"upload of a file that cannot be read", Direction::Upload,
         QStringLiteral("/proc/self/mem")},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        CMessageBoxScript boxes;
        boxes.Expect(kCopyError, FileMessages::CopyFileCaption(), MsgIcon::Stop);
        CCommOperation operation(true);
        if (c.direction == Direction::Download)
            EXPECT_FALSE(operation.Dialog().DownloadFile(ServerPath(QStringLiteral("down.txt")),
                                                         c.localPath));
        else
            EXPECT_FALSE(
                operation.Dialog().UploadFile(c.localPath, ServerPath(QStringLiteral("up.txt"))));
        EXPECT_EQ(frame->StatusText(0), QStringLiteral("Ready"));
    }
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(CTransferTest, ADownloadNeverTakesAFileOfTheUsersThatHasItsPartName)
{
    server->MakeFile(QStringLiteral("report.txt"), "from the server");
    struct Case
    {
        const char* what;
        QStringList files; // the user's files at the part names, each holding its own name
        QStringList links; // the user's links at part names, leading nowhere
    };
    const Case table[] = {
        {"a file of the part name", {"report.txt.part"}, {}},
        {"the next name taken by a link", {"report.txt.part"}, {"report.txt~2.part"}},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        QDir(local).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(local));
        WriteFile(LocalFile(QStringLiteral("report.txt")), "the user's report");
        for (const QString& name : c.files)
            WriteFile(LocalFile(name), name.toUtf8());
        for (const QString& name : c.links)
            ASSERT_EQ(symlink("elsewhere", QFile::encodeName(LocalFile(name)).constData()), 0);
        CMessageBoxScript boxes;
        CCommOperation operation(true);
        EXPECT_TRUE(operation.Dialog().DownloadFile(ServerPath(QStringLiteral("report.txt")),
                                                    LocalFile(QStringLiteral("report.txt"))));
        EXPECT_EQ(ReadFile(LocalFile(QStringLiteral("report.txt"))), "from the server");
        for (const QString& name : c.files)
            EXPECT_EQ(ReadFile(LocalFile(name)), name.toUtf8());
        for (const QString& name : c.links)
            EXPECT_TRUE(QFileInfo(LocalFile(name)).isSymLink());
        EXPECT_FALSE(QFileInfo::exists(LocalFile(QStringLiteral("elsewhere"))));
        // Nothing of ours stays behind.
        EXPECT_EQ(
            QDir(local).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size(),
            1 + c.files.size() + c.links.size());
    }
}

TEST_F(CTransferTest, PipesSocketsAndDevicesAreNeverOpenedForACopy)
{
    const QString pipe = LocalFile(QStringLiteral("pipe"));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString socketPath = LocalFile(QStringLiteral("socket"));
    const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(socketPath);
    ASSERT_LT(encoded.size(), qsizetype(sizeof address.sun_path));
    std::copy(encoded.begin(), encoded.end(), address.sun_path);
    ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    server->MakeFile(QStringLiteral("down.txt"), "content");
    server->ClearLog();
    struct Case
    {
        const char* what;
        Direction direction;
        QString localPath;
        const char* kind;
    };
    const Case table[] = {
        // Opening a pipe for reading waits for a writer: the window would hang for good.
        {"upload of a named pipe", Direction::Upload, pipe, "named pipe"},
        {"upload of a socket", Direction::Upload, socketPath, "socket"},
        {"upload of a device", Direction::Upload, QStringLiteral("/dev/zero"), "device"},
        // A download renames over its target: the user's pipe would go without a word.
        {"download onto a named pipe", Direction::Download, pipe, "named pipe"},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        CMessageBoxScript boxes;
        boxes.Expect(QStringLiteral("\"%1\" is a %2, not a file: it cannot be copied.")
                         .arg(c.localPath, QLatin1String(c.kind)),
                     QStringLiteral("Error Copying File"), MsgIcon::Stop);
        CCommOperation operation(true);
        if (c.direction == Direction::Download)
            EXPECT_FALSE(operation.Dialog().DownloadFile(ServerPath(QStringLiteral("down.txt")),
                                                         c.localPath));
        else
            EXPECT_FALSE(
                operation.Dialog().UploadFile(c.localPath, ServerPath(QStringLiteral("up.txt"))));
        EXPECT_EQ(boxes.Pending(), 0);
    }
    close(listening);
    EXPECT_EQ(server->CountCommands(QStringLiteral("STOR")), 0);
    EXPECT_EQ(server->CountCommands(QStringLiteral("RETR")), 0);
    EXPECT_TRUE(QFileInfo(pipe).exists() && !QFileInfo(pipe).isFile());
}

TEST_F(CTransferTest, ServerPathsAreShownWithoutTheRootsDoubleSlashButSentAsTheyAre)
{
    WriteFile(LocalFile(QStringLiteral("shown.txt")), "shown");
    server->ClearLog();
    CMessageBoxScript boxes;
    CCommOperation operation(true);
    CCommStatusDialog& dialog = operation.Dialog();
    ASSERT_TRUE(
        dialog.UploadFile(LocalFile(QStringLiteral("shown.txt")), QStringLiteral("//shown.txt")));
    auto* to = dialog.findChild<QLabel*>(QStringLiteral("toText"));
    ASSERT_NE(to, nullptr);
    EXPECT_EQ(to->text(), QStringLiteral("test:/shown.txt"));
    EXPECT_TRUE(server->LogLines().filter(QStringLiteral("STOR //shown.txt")).size() == 1)
        << server->LogLines().join('\n').toStdString();
    ASSERT_TRUE(
        dialog.DownloadFile(QStringLiteral("//shown.txt"), LocalFile(QStringLiteral("back.txt"))));
    auto* from = dialog.findChild<QLabel*>(QStringLiteral("fromText"));
    ASSERT_NE(from, nullptr);
    EXPECT_EQ(from->text(), QStringLiteral("test:/shown.txt"));
}
