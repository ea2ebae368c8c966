// The status window's line for a whole folder copy: files and bytes done of the total, the
// rate and the time left, and figures that are current when a box opens over the window.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "ftp/transferfigures.h"
#include "inet/ftpconnection.h"
#include "inet/internetexception.h"
#include "inet/internetsession.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/localtree.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QLabel>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

TEST(TransferFigures, FolderLineSaysWhatIsDoneOfTheTotalAndWhatIsLeft)
{
    struct Case
    {
        FolderProgress progress;
        quint64 currentFileBytes;
        std::time_t now;
        const char* text;
    };
    const Case table[] = {
        // The file under way counts; the time left follows the rate so far.
        {{2, 4, 4000, 10000, true, 100},
         1000,
         105,
         "Files 2 of 4, bytes 5000 of 10000, 1000 bytes per second, 00:00:05 left"},
        // No time yet: no rate, so no time left.
        {{0, 3, 0, 6000, true, 100}, 0, 100, "Files 0 of 3, bytes 0 of 6000, 0 bytes per second"},
        // A server source still being listed: no time left for a total that still grows.
        {{1, 2, 500, 900, false, 100},
         0,
         101,
         "Files 1 of at least 2, bytes 500 of at least 900, 500 bytes per second"},
        // A file that grew while it was sent: the total is never below what came.
        {{0, 1, 0, 100, true, 100},
         300,
         101,
         "Files 0 of 1, bytes 300 of 300, 300 bytes per second, 00:00:00 left"},
        // A clock that went backwards gives no rate.
        {{0, 1, 0, 100, true, 100}, 50, 90, "Files 0 of 1, bytes 50 of 100, 0 bytes per second"},
    };
    for (const Case& c : table)
        EXPECT_EQ(TransferFigures::FolderText(c.progress, c.currentFileBytes, c.now),
                  QString::fromLatin1(c.text));
}

TEST(CFolderProgressTest, ABoxOverTheWindowFindsTheFiguresOfTheLastFile)
{
    CFtpServerFixture server;
    ASSERT_TRUE(server.IsRunning());
    CVantorApp& app = theApp();
    app.activeProfile = ProfileFor(server);
    app.internetSession = std::make_unique<CInternetSession>();
    app.ftpConnection = app.internetSession->GetFtpConnection(
        app.activeProfile.address, app.activeProfile.userId, app.activeProfile.password, 0, true);
    const QString tree = TestCaseFolder() + QStringLiteral("/tree");
    for (const char* name : {"a.bin", "b.bin", "c.bin"})
        WriteLocalFile(tree + QLatin1Char('/') + QLatin1String(name), QByteArray(2000, 'x'));

    CCommOperation operation(true);
    CCommStatusDialog& dialog = operation.Dialog();
    // The third file's STOR is held until the user has cancelled: the box then opens over
    // a window that must show the two files that are in.
    server.Hold(QStringLiteral("STOR"), 2);
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (server.CountCommands(QStringLiteral("STOR")) >= 3)
            dialog.cancelRequested = true;
    });
    cancel.start(10);
    QStringList seen;
    {
        CScopedMessageBoxHandler boxes([&](const MessageBoxRequest& request) {
            seen << request.text << dialog.findChild<QLabel*>(QStringLiteral("folderText"))->text()
                 << dialog.findChild<QLabel*>(QStringLiteral("bytesCopiedText"))->text();
            return MsgAnswer::Ok;
        });
        EXPECT_FALSE(dialog.UploadFolder(tree, QStringLiteral("/tree")));
    }
    server.Release();
    ASSERT_EQ(seen.size(), 3) << qPrintable(seen.join('\n'));
    EXPECT_EQ(seen[0], FileMessages::CancelledText());
    EXPECT_TRUE(seen[1].startsWith(QStringLiteral("Files 2 of 3, bytes 4000 of 6000, ")))
        << qPrintable(seen[1]);
    EXPECT_EQ(seen[2], QStringLiteral("2000 of 2000"));
    CCommStatusDialog::Disconnect();
}

TEST(CFolderProgressTest, EveryBoxFlushesWhatTheWindowHasNotPaintedYet)
{
    struct Case
    {
        const char* name;
        std::function<void(CCommStatusDialog&)> openBox;
    };
    const Case table[] = {
        {"copy error", [](CCommStatusDialog& d) { d.ReportCopyError(); }},
        {"network error",
         [](CCommStatusDialog& d) {
             d.ReportCopyError(CInternetException(InetErrorKind::Reply, QStringLiteral("550")));
         }},
        {"other box",
         [](CCommStatusDialog& d) { d.ShowMessage("text", "caption", MsgIcon::Stop); }},
        {"cancel",
         [](CCommStatusDialog& d) {
             d.cancelRequested = true;
             d.PollCancel();
         }},
    };
    CMainFrame* frame = MakeMainFrame();
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        CCommStatusDialog dialog(frame);
        dialog.Create();
        dialog.ShowTransferControls();
        // The first tally shows the line; what follows waits for the window's rhythm.
        dialog.ShowFolderProgress({0, 3, 0, 6000, true, std::time(nullptr)});
        dialog.ShowFolderProgress({2, 3, 4000, 6000, true, std::time(nullptr)});
        dialog.ShowTransferProgress(1000, QStringLiteral("2000"), 0);
        QStringList seen;
        CScopedMessageBoxHandler boxes([&](const MessageBoxRequest&) {
            for (const char* name : {"folderText", "bytesCopiedText"})
                seen << dialog.findChild<QLabel*>(QLatin1String(name))->text();
            return MsgAnswer::Ok;
        });
        c.openBox(dialog);
        ASSERT_EQ(seen.size(), 2);
        EXPECT_TRUE(seen[0].startsWith(QStringLiteral("Files 2 of 3, bytes 5000 of 6000, ")))
            << qPrintable(seen[0]);
        EXPECT_EQ(seen[1], QStringLiteral("1000 of 2000"));
    }
}
