// Files copied side by side over helper connections, against a real server that holds the
// transfers until the test has seen them run together (or has acted).
#include "app/vantorapp.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "ftp/filetransfer.h"
#include "ftp/folderwalk.h"
#include "ftp/transferpool.h"
#include "ftp/transferresume.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "inet/tlsrunmemory.h"
#include "inet/tlstruststore.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/localtree.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QSet>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace {

QString Local(const QString& relative)
{
    return TestCaseFolder() + QStringLiteral("/local/") + relative;
}

// Calls `step` every 10 ms while the copy runs (its waits let timers through), until it
// answers true.
class CWhileCopying
{
public:
    explicit CWhileCopying(std::function<bool()> check)
        : step(std::move(check))
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (step())
                timer.stop();
        });
        timer.start(10);
    }

private:
    std::function<bool()> step;
    QTimer timer;
};

// The sessions that sent `command` so far: each helper logs in on a session of its own.
int SessionsThatSent(const CFtpServerFixture& server, const QString& command)
{
    QSet<QString> sessions;
    for (const QString& line : server.LogLines()) {
        const QStringList words = line.split(QLatin1Char(' '));
        if (words.size() > 1 && words[1] == command)
            sessions.insert(words[0]);
    }
    return static_cast<int>(sessions.size());
}

int RunningLinesShown(CCommStatusDialog& dialog)
{
    const auto* label = dialog.findChild<QLabel*>(QStringLiteral("runningText"));
    if (!label || label->isHidden() || label->text().isEmpty())
        return 0;
    return static_cast<int>(label->text().count(QLatin1Char('\n'))) + 1;
}

// Three folders of three files, one of them large enough to report progress.
QStringList MakeTree(const QString& root)
{
    QStringList expected;
    for (const QString folder : {"a", "b", "c"}) {
        expected.append(folder + "/");
        for (const QString name : {"1.txt", "2.txt", "3.txt"}) {
            const QByteArray content = (folder + name).toUtf8();
            WriteLocalFile(root + "/" + folder + "/" + name, content);
            expected.append(folder + "/" + name + "=" + content);
        }
    }
    const QByteArray large(300'000, 'L');
    WriteLocalFile(root + "/large.bin", large);
    expected.append("large.bin=" + QString::fromLatin1(large));
    expected.sort();
    return expected;
}

} // namespace

class CParallelTransferTest : public testing::Test
{
protected:
    void SetUp() override { Start(FixtureTls::None, {}); }

    void Start(FixtureTls tls, const QStringList& serverArguments)
    {
        server = std::make_unique<CFtpServerFixture>(tls, serverArguments);
        ASSERT_TRUE(server->IsRunning());
        QDir().mkpath(Local({}));
        CVantorApp& app = theApp();
        // The user's "Connect this time only" for the server's own certificate.
        if (tls != FixtureTls::None)
            app.tlsMemory->AcceptOnce(CTlsTrustStore::ServerKey("127.0.0.1", server->Port()),
                                      server->CertificateFingerprint());
        app.internetSession =
            std::make_unique<CInternetSession>(CCommStatusDialog::SessionOptions());
        app.activeProfile = ProfileFor(*server);
        app.ftpConnection = app.internetSession->GetFtpConnection(
            app.activeProfile.address, app.activeProfile.userId, app.activeProfile.password);
    }

    QString Remote(const QString& relative) const { return server->Root() + "/" + relative; }
    // A tree uploaded and downloaded three files at a time.
    void RunTreesTogether();

    std::unique_ptr<CFtpServerFixture> server;
};

TEST_F(CParallelTransferTest, TreesGoOverSeveralConnectionsAtOnceAndArriveWhole)
{
    RunTreesTogether();
}

TEST_F(CParallelTransferTest, OverTlsEveryHelperLogsInOnTheDecisionOfTheRun)
{
    // A server that wants TLS everywhere and data connections that resume their session.
    Start(FixtureTls::Explicit, {"--tls-required", "--tls-reuse-required"});
    RunTreesTogether();
}

void CParallelTransferTest::RunTreesTogether()
{
    theApp().parallelTransfers = 3;
    const QStringList expected = MakeTree(Local("source"));
    MakeTree(Remote("source"));
    struct Direction
    {
        const char* what;
        const char* held;
        std::function<bool(CCommStatusDialog&)> run;
        QString result;
    };
    const Direction directions[] = {
        {"upload", "STOR",
         [](CCommStatusDialog& d) { return d.UploadFolder(Local("source"), "/up"); }, Remote("up")},
        {"download", "RETR",
         [](CCommStatusDialog& d) { return d.DownloadFolder("/source", Local("down")); },
         Local("down")},
    };
    for (const Direction& direction : directions) {
        SCOPED_TRACE(direction.what);
        CMessageBoxScript boxes;
        {
            CCommOperation operation(true);
            CCommStatusDialog& dialog = operation.Dialog();
            server->ClearLog();
            server->Hold(direction.held);
            // Released only once three transfers wait at the server together and the window
            // shows a line for each: one at a time, the copy would never get there.
            bool together = false;
            const CWhileCopying watch([&] {
                together = SessionsThatSent(*server, direction.held) == 3 &&
                           RunningLinesShown(dialog) == 3;
                if (together)
                    server->Release();
                return together;
            });
            EXPECT_TRUE(direction.run(dialog));
            EXPECT_TRUE(together);
            EXPECT_EQ(RunningLinesShown(dialog), 0) << "the lines go with the files";
        }
        EXPECT_EQ(TreeOf(direction.result), expected);
        EXPECT_TRUE(boxes.Shown().isEmpty()) << qPrintable(boxes.ShownTexts().join('\n'));
        EXPECT_EQ(CTransferPool::LiveHelpers(), 0);
    }
}

TEST_F(CParallelTransferTest, AFailedFileIsShownAloneAndNoFurtherFileStarts)
{
    theApp().parallelTransfers = 2;
    const QByteArray large(300'000, 'L');
    server->MakeFile("pub/large.bin", large);
    for (const QString name : {"pipe.txt", "c.txt", "d.txt"})
        server->MakeFile("pub/" + name, name.toUtf8());
    QDir().mkpath(Local("into"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(Local("into/pipe.txt")).constData(), 0600), 0);

    CMessageBoxScript boxes;
    boxes.Expect(FileMessages::CannotCopyKindText(Local("into/pipe.txt"),
                                                  SpecialFileKind(Local("into/pipe.txt"))),
                 FileMessages::CopyFileCaption(), MsgIcon::Stop);
    CCommOperation operation(true);
    CCommStatusDialog& dialog = operation.Dialog();
    // The large file waits at the server while the other helper asks about the pipe; the
    // server lets it go only once the box has been shown.
    server->Hold("RETR");
    const CWhileCopying watch([&] {
        if (boxes.Shown().isEmpty())
            return false;
        server->Release();
        return true;
    });
    for (const QString name : {"large.bin", "pipe.txt", "c.txt", "d.txt"}) {
        if (!dialog.StartFile(
                FileJob::Of(FileJob::Kind::Download, "/pub/" + name, Local("into/" + name))))
            break;
    }
    EXPECT_FALSE(dialog.FinishFiles());
    EXPECT_EQ(boxes.Pending(), 0);
    EXPECT_EQ(ReadFile(Local("into/large.bin")), large) << "the file running beside ends whole";
    EXPECT_FALSE(QFileInfo::exists(Local("into/c.txt")));
    EXPECT_FALSE(QFileInfo::exists(Local("into/d.txt")));
    EXPECT_EQ(server->CountCommands("RETR"), 1);
}

TEST_F(CParallelTransferTest, FilesFailingSideBySideShowOneBox)
{
    theApp().parallelTransfers = 3;
    QDir().mkpath(Local("into"));
    for (const QString name : {"p1", "p2", "p3"}) {
        server->MakeFile("pub/" + name, "x");
        ASSERT_EQ(::mkfifo(QFile::encodeName(Local("into/" + name)).constData(), 0600), 0);
    }
    CMessageBoxScript boxes;
    boxes
        .Allow(
            FileMessages::CannotCopyKindText(Local("into/p1"), SpecialFileKind(Local("into/p1"))))
        .Allow(
            FileMessages::CannotCopyKindText(Local("into/p2"), SpecialFileKind(Local("into/p2"))))
        .Allow(
            FileMessages::CannotCopyKindText(Local("into/p3"), SpecialFileKind(Local("into/p3"))));
    CCommOperation operation(true);
    CCommStatusDialog& dialog = operation.Dialog();
    for (const QString name : {"p1", "p2", "p3"}) {
        if (!dialog.StartFile(
                FileJob::Of(FileJob::Kind::Download, "/pub/" + name, Local("into/" + name))))
            break;
    }
    EXPECT_FALSE(dialog.FinishFiles());
    EXPECT_EQ(boxes.Shown().size(), 1);
}

TEST_F(CParallelTransferTest, CancelStopsEveryConnectionWithOneMessage)
{
    theApp().parallelTransfers = 3;
    MakeTree(Remote("source"));
    CMessageBoxScript boxes;
    boxes.Expect(FileMessages::CancelledText());
    {
        CCommOperation operation(true);
        CCommStatusDialog& dialog = operation.Dialog();
        server->Hold("RETR");
        const CWhileCopying watch([&] {
            if (SessionsThatSent(*server, "RETR") < 3)
                return false;
            dialog.cancelRequested = true;
            return true;
        });
        EXPECT_FALSE(dialog.DownloadFolder("/source", Local("down")));
        EXPECT_EQ(server->CountCommands("RETR"), 3) << "no file starts after the cancel";
    }
    EXPECT_EQ(boxes.Pending(), 0);
    EXPECT_EQ(CTransferPool::LiveHelpers(), 0);
    server->Release();
    // What did arrive is whole: a file is in its place only once all of it is.
    for (const QString& entry : TreeOf(Local("down"))) {
        if (!entry.endsWith('/')) {
            EXPECT_TRUE(entry.contains('=')) << qPrintable(entry);
        }
    }
}

TEST_F(CParallelTransferTest, TwoFilesForOneDestinationNeverRunTogether)
{
    theApp().parallelTransfers = 2;
    WriteLocalFile(Local("src/Notes.txt"), "upper");
    WriteLocalFile(Local("src/notes.txt"), "lower");
    server->MakeFolder("dest");
    CMessageBoxScript boxes;
    CCommOperation operation(true);
    CCommStatusDialog& dialog = operation.Dialog();
    server->Hold("STOR");
    // While the first is held, the second (the same name to a server that may not tell
    // case) must wait; the helper that is free would otherwise send it at once.
    int turns = 0;
    int storedWhileHeld = 0;
    const CWhileCopying watch([&] {
        if (server->CountCommands("STOR") == 0 || ++turns < 30)
            return false;
        storedWhileHeld = server->CountCommands("STOR");
        server->Release();
        return true;
    });
    EXPECT_TRUE(dialog.StartFile(
        FileJob::Of(FileJob::Kind::Upload, Local("src/Notes.txt"), "/dest/Notes.txt")));
    EXPECT_TRUE(dialog.StartFile(
        FileJob::Of(FileJob::Kind::Upload, Local("src/notes.txt"), "/dest/notes.txt")));
    EXPECT_TRUE(dialog.FinishFiles());
    EXPECT_EQ(storedWhileHeld, 1);
    EXPECT_EQ(ReadFile(Remote("dest/notes.txt")), "lower");
    EXPECT_EQ(ReadFile(Remote("dest/Notes.txt")), "upper");
}

TEST_F(CParallelTransferTest, AServerThatAllowsFewConnectionsStillGetsEveryFile)
{
    // One place for a helper beside the main connection, none at all: the helpers refused
    // leave their files to the others, or to the main connection.
    for (const char* places : {"2", "1"}) {
        SCOPED_TRACE(places);
        Start(FixtureTls::None, {"--max-per-ip", places});
        theApp().parallelTransfers = 4;
        const QStringList expected = MakeTree(Local("source"));
        MakeTree(Remote("source"));
        QDir(Local("down")).removeRecursively();
        CMessageBoxScript boxes;
        CCommOperation operation(true);
        EXPECT_TRUE(operation.Dialog().DownloadFolder("/source", Local("down")));
        EXPECT_TRUE(operation.Dialog().UploadFolder(Local("source"), "/up"));
        EXPECT_EQ(TreeOf(Local("down")), expected);
        EXPECT_EQ(TreeOf(Remote("up")), expected);
        EXPECT_TRUE(boxes.Shown().isEmpty()) << qPrintable(boxes.ShownTexts().join('\n'));
    }
}

TEST_F(CParallelTransferTest, AHelperWhoseConnectionBreaksGoesOnFromWhereItStopped)
{
    theApp().parallelTransfers = 2;
    CTransferResume::SetFirstPause(std::chrono::milliseconds(10));
    const QStringList expected = MakeTree(Local("source"));
    for (const bool upload : {false, true}) {
        SCOPED_TRACE(upload ? "upload" : "download");
        // The server drops the first transfer that has moved 100000 bytes (the large file).
        Start(FixtureTls::None, {"--break-after", "100000"});
        MakeTree(Remote("source"));
        CMessageBoxScript boxes;
        {
            CCommOperation operation(true);
            EXPECT_TRUE(upload ? operation.Dialog().UploadFolder(Local("source"), "/up")
                               : operation.Dialog().DownloadFolder("/source", Local("down")));
        }
        EXPECT_EQ(TreeOf(upload ? Remote("up") : Local("down")), expected);
        EXPECT_TRUE(boxes.Shown().isEmpty()) << qPrintable(boxes.ShownTexts().join('\n'));
        EXPECT_EQ(server->LogLines().filter(" BROKEN").size(), 1);
        EXPECT_GE(server->CountCommands(upload ? "APPE" : "REST") +
                      server->CountCommands(upload ? "REST" : "APPE"),
                  1)
            << "it went on part-way";
        QDir(Local("down")).removeRecursively();
    }
    CTransferResume::SetFirstPause(std::chrono::milliseconds(1000));
}
