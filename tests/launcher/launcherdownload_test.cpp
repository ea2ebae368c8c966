// Downloads: what reaches the disk, what runs, and what the user sees when it fails.
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/launcher/launchertestbed.h"

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QString kServerDown = QStringLiteral(
    "The Vantor update server has a temporary problem. Please try the program again later.");
const QString kNotVerified =
    QStringLiteral("The downloaded installer could not be verified, so it has not been run. "
                   "Please try the download again later.");
const QString kCancelled = QStringLiteral("The download has been cancelled.");

// A 200 reply with `body`, cut wherever `cuts` say (offsets into the whole response; a
// negative one counts from the end of the header into the body), each piece sent 50 ms
// after the one before.
CHttpTestServer::Reply InPieces(const QByteArray& body, const QList<qsizetype>& cuts)
{
    const QByteArray header = CHttpTestServer::OkHeader(body.size());
    const QByteArray response = header + body;
    QList<QByteArray> pieces;
    qsizetype from = 0;
    for (qsizetype cut : cuts) {
        if (cut < 0)
            cut = header.size() - cut;
        pieces.append(response.mid(from, cut - from));
        from = cut;
    }
    pieces.append(response.mid(from));
    return CHttpTestServer::Blocks(pieces, 50ms);
}

// Nothing of the installer may remain or have run; the main program was not started
// either (the testbed wrote no "v.exe").
void ExpectNothingRun(const CLauncherTestbed& bed)
{
    EXPECT_FALSE(bed.Exists(QStringLiteral("vz.cxx")));
    EXPECT_FALSE(bed.Exists(QStringLiteral("vz.exe")));
    EXPECT_FALSE(bed.Exists(QStringLiteral("installer.ran")));
}

} // namespace

TEST(LauncherDownload, SignedDownloadIsInstalledThenMainProgramStarts)
{
    // The header alone, the header with part of the body, the header over three blocks,
    // a seven-digit length (read whole, not cut to six digits).
    struct Case
    {
        const char* name;
        qsizetype size;
        QList<qsizetype> cuts;
    };
    const Case cases[] = {
        {"all at once", 0, {}},
        {"header and part of the body, then the rest", 0, {-40}},
        {"header over three blocks", 0, {20, 45}},
        {"seven-digit length", 1'048'600, {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        CLauncherTestbed bed;
        bed.WriteMainProgram();
        const QByteArray installer = CLauncherTestbed::InstallerScript(test.size);
        bed.ServeInstaller(installer);
        bed.server.Serve("/test5/maq/vz.cxx", InPieces(installer, test.cuts));
        QString progress;
        int result = -1;
        bed.Run(
            [&](CLauncherDialog& dialog) {
                Click(dialog, "downloadButton");
                progress = ProgressText(dialog)->text();
                EXPECT_EQ(ProgressBar(dialog)->value(), 100);
            },
            &result);
        EXPECT_EQ(result, QDialog::Accepted);
        const QString total = QString::number(installer.size());
        EXPECT_EQ(progress,
                  total + QStringLiteral(" of ") + total + QStringLiteral(" bytes downloaded"));
        EXPECT_EQ(bed.server.Requests(), (QList<QByteArray>{"GET /test5/maq/vz.ver HTTP/1.0\n\n",
                                                            "GET /test5/maq/vz.cxx HTTP/1.0\n\n",
                                                            "GET /test5/maq/vz.sig HTTP/1.0\n\n"}));
        // Exactly the body reached the disk, ran as "vz.exe" from the program folder for
        // its owner only, and the new main program started after it had finished.
        EXPECT_EQ(bed.Read(QStringLiteral("installer.copy")), installer);
        EXPECT_EQ(bed.Read(QStringLiteral("installer.mode")), "700\n");
        EXPECT_EQ(bed.Read(QStringLiteral("installer.ran")).trimmed() + '/',
                  TestProgramFolder().toUtf8());
        EXPECT_EQ(bed.WaitForMainProgram(), QByteArray("new"));
        EXPECT_FALSE(bed.Exists(QStringLiteral("vz.exe")));
        EXPECT_FALSE(bed.Exists(QStringLiteral("vz.cxx")));
    }
}

TEST(LauncherDownload, BadRepliesEndWithServerDown)
{
    const QByteArray body = CLauncherTestbed::InstallerScript();
    const auto header = [](const char* fields) -> QByteArray {
        return QByteArray("HTTP/1.0 200 OK\r\n") + fields + "\r\n\r\n";
    };
    CHttpTestServer::Reply endless =
        CHttpTestServer::Raw("HTTP/1.0 200 OK\r\nX-Pad: " + QByteArray(17 * 1024, 'p'));
    endless.holdOpen = true;
    CHttpTestServer::Reply silent;
    silent.holdOpen = true;
    struct Case
    {
        const char* name;
        CHttpTestServer::Reply reply;
    };
    const Case cases[] = {
        {"404 with a page", CHttpTestServer::Raw("HTTP/1.0 404 Not Found\r\nContent-Length: 9"
                                                 "\r\n\r\nNot Found")},
        {"no Content-Length", CHttpTestServer::Raw(header("Server: x") + body)},
        {"Content-Length 0", CHttpTestServer::Raw(header("Content-Length: 0"))},
        {"Content-Length not a number",
         CHttpTestServer::Raw(header("Content-Length: many") + body)},
        {"seven digits, body as long as the first six",
         CHttpTestServer::Raw(header("Content-Length: 1000001") + QByteArray(100000, 'a'))},
        {"body cut short",
         CHttpTestServer::Raw(CHttpTestServer::OkHeader(body.size() + 10) + body)},
        {"body longer than announced",
         CHttpTestServer::Blocks({CHttpTestServer::OkHeader(body.size()) + body, "more"}, 0ms)},
        {"no header end within 16 KiB", endless},
        {"closed before any byte", CHttpTestServer::Raw({})},
        {"no answer", silent},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        CLauncherTestbed bed;
        bed.ServeInstaller(body);
        bed.server.Serve("/test5/maq/vz.cxx", test.reply);
        LauncherOptions options = bed.Options();
        options.timeouts.answer = 300ms;
        CMessageBoxScript boxes;
        boxes.Expect(kServerDown, QStringLiteral("Vantor Server is Temporarily Down"),
                     MsgIcon::Stop);
        int result = -1;
        bed.Run([](CLauncherDialog& dialog) { Click(dialog, "downloadButton"); }, &result,
                &options);
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(bed.server.CountRequests("/test5/maq/vz.sig"), 0);
        ExpectNothingRun(bed);
    }
}

TEST(LauncherDownload, ServerGoneAtDownloadEndsWithServerDown)
{
    CLauncherTestbed bed;
    CMessageBoxScript boxes;
    boxes.Expect(kServerDown);
    bed.Run([&](CLauncherDialog& dialog) {
        bed.server.Stop();
        Click(dialog, "downloadButton");
    });
    ExpectNothingRun(bed);
}

TEST(LauncherDownload, UnverifiedInstallerIsDeletedAndOfferShownAgain)
{
    const QByteArray installer = CLauncherTestbed::InstallerScript();
    CTestSigningKey otherKey;
    struct Case
    {
        const char* name;
        std::function<void(CLauncherTestbed&)> arrange;
        bool keyless;
    };
    const auto signature = [](QByteArray bytes) {
        return [bytes](CLauncherTestbed& bed) {
            bed.server.Serve("/test5/maq/vz.sig", CHttpTestServer::Ok(bytes));
        };
    };
    const Case cases[] = {
        {"signature of other bytes", signature(CTestSigningKey().Sign("other")), false},
        {"signature by another key", signature(otherKey.Sign(installer)), false},
        {"signature too short", signature(QByteArray(63, 's')), false},
        {"no signature on the server",
         [](CLauncherTestbed& bed) {
             bed.server.Serve("/test5/maq/vz.sig", CHttpTestServer::Raw("HTTP/1.0 404 No\r\n\r\n"));
         },
         false},
        {"build without a key", [](CLauncherTestbed&) {}, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        CLauncherTestbed bed;
        bed.ServeInstaller(installer);
        test.arrange(bed);
        LauncherOptions options = bed.Options();
        if (test.keyless)
            options.publicKeyPem.clear();
        CMessageBoxScript boxes;
        boxes.Expect(kNotVerified, QStringLiteral("Installer Not Verified"), MsgIcon::Stop);
        bed.Run(
            [&](CLauncherDialog& dialog) {
                Click(dialog, "downloadButton");
                ExpectOfferState(dialog);
                ExpectNothingRun(bed);
                Click(dialog, "cancelButton");
            },
            nullptr, &options);
        ExpectNothingRun(bed);
    }
}

TEST(LauncherDownload, ProgressBarFollowsTheBytesOfA100ByteFile)
{
    CLauncherTestbed bed;
    bed.WriteMainProgram();
    QByteArray installer = "#!/bin/sh\ncp \"$0\" installer.copy\n#";
    installer += QByteArray(99 - installer.size(), 'x') + '\n';
    ASSERT_EQ(installer.size(), 100);
    bed.ServeInstaller(installer);
    bed.server.Serve(
        "/test5/maq/vz.cxx",
        CHttpTestServer::Blocks({CHttpTestServer::OkHeader(100), installer.left(1),
                                 installer.mid(1, 97), installer.mid(98, 1), installer.mid(99)},
                                80ms));
    QStringList seen;
    bed.Run([&](CLauncherDialog& dialog) {
        QObject::connect(ProgressBar(dialog), &QProgressBar::valueChanged, [&](int value) {
            seen.append(QStringLiteral("%1: %2").arg(value).arg(ProgressText(dialog)->text()));
        });
        Click(dialog, "downloadButton");
    });
    EXPECT_EQ(seen, (QStringList{QStringLiteral("1: 0 of 100 bytes downloaded"),
                                 QStringLiteral("2: 1 of 100 bytes downloaded"),
                                 QStringLiteral("99: 98 of 100 bytes downloaded"),
                                 QStringLiteral("100: 99 of 100 bytes downloaded")}));
    EXPECT_EQ(bed.Read(QStringLiteral("installer.copy")), installer);
    EXPECT_TRUE(bed.WaitForMainProgram().has_value());
}

TEST(LauncherDownload, ProgressPositionRoundsHalvesUp)
{
    struct Case
    {
        qint64 received, total;
        int position;
    };
    const Case cases[] = {
        {0, 100, 1},
        {1, 100, 2},
        {98, 100, 99},
        {99, 100, 100},
        {100, 100, 100},
        {0, 200, 1},
        {2, 200, 2},
        {0, 201, 0},
        {0, 1, 100},
        {5, 0, 0},
        {0, qint64(1) << 40, 0},
        {(qint64(1) << 40) - 1, qint64(1) << 40, 100},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(CLauncherDialog::ProgressPosition(test.received, test.total), test.position)
            << test.received << " of " << test.total;
    }
}

TEST(LauncherDownload, CancelStopsRemovesAndOffersAgainThenDownloadStartsOver)
{
    const QByteArray installer = CLauncherTestbed::InstallerScript();
    // A few blocks of 400 KiB trickle in, and the rest waits until the client gives up: the
    // download cannot end before the cancel, however busy the machine.
    QList<QByteArray> slowBlocks{CHttpTestServer::OkHeader(400 * 1024)};
    for (int i = 0; i < 10; ++i)
        slowBlocks.append(QByteArray(1024, 'z'));
    CHttpTestServer::Reply trickle = CHttpTestServer::Blocks(slowBlocks, 20ms);
    trickle.holdOpen = true;
    CHttpTestServer::Reply silent;
    silent.holdOpen = true;
    // While bytes trickle in, and while the server says nothing at all.
    for (const CHttpTestServer::Reply& first : {trickle, silent}) {
        CLauncherTestbed bed;
        bed.WriteMainProgram();
        bed.ServeInstaller(installer);
        bed.server.Serve("/test5/maq/vz.cxx", {first, CHttpTestServer::Ok(installer)});
        const bool trickles = !first.steps.isEmpty();
        SCOPED_TRACE(trickles ? "trickling" : "silent");
        CMessageBoxScript boxes;
        boxes.Expect(kCancelled, QStringLiteral("Download Cancelled"), MsgIcon::Information);
        bed.Run([&](CLauncherDialog& dialog) {
            QTimer press;
            QObject::connect(&press, &QTimer::timeout, [&] {
                const bool ready = trickles ? ProgressBar(dialog)->value() > 0
                                            : bed.server.CountRequests("/test5/maq/vz.cxx") > 0;
                if (ready && dialog.IsDownloading()) {
                    EXPECT_EQ(TextLine(dialog, 1)->text(),
                              QStringLiteral("To stop the download, click [Cancel]."));
                    EXPECT_FALSE(Button(dialog, "downloadButton")->isVisible());
                    press.stop();
                    Click(dialog, "cancelButton");
                }
            });
            press.start(10);
            Click(dialog, "downloadButton");
            EXPECT_EQ(boxes.Pending(), 0);
            ExpectOfferState(dialog);
            ExpectNothingRun(bed);
            Click(dialog, "downloadButton");
        });
        EXPECT_EQ(bed.server.CountRequests("/test5/maq/vz.cxx"), 2);
        EXPECT_EQ(bed.Read(QStringLiteral("installer.copy")), installer);
        EXPECT_EQ(bed.WaitForMainProgram(), QByteArray("new"));
    }
}

TEST(LauncherDownload, UnwritableInstallerFileIsReportedAndOfferShownAgain)
{
    CLauncherTestbed bed;
    bed.ServeInstaller(CLauncherTestbed::InstallerScript());
    // A folder where the file should go fails the same way as a full disk.
    ASSERT_TRUE(QDir().mkdir(bed.PathOf(QStringLiteral("vz.cxx"))));
    QFile probe(bed.PathOf(QStringLiteral("vz.cxx")));
    ASSERT_FALSE(probe.open(QIODevice::WriteOnly));
    CMessageBoxScript boxes;
    boxes.Expect(QStringLiteral("The download could not be saved in the program folder (%1): ")
                         .arg(TestProgramFolder()) +
                     probe.errorString(),
                 QStringLiteral("Download Failed"), MsgIcon::Stop);
    bed.Run([&](CLauncherDialog& dialog) {
        Click(dialog, "downloadButton");
        ExpectOfferState(dialog);
        Click(dialog, "cancelButton");
    });
    EXPECT_FALSE(bed.Exists(QStringLiteral("installer.ran")));
}

TEST(LauncherDownload, InstallerThatCannotRunIsReportedAndOldProgramStarts)
{
    CLauncherTestbed bed;
    bed.WriteMainProgram();
    bed.ServeInstaller(QByteArray("\x7f"
                                  "ELF but not really",
                                  19));
    QList<MessageBoxRequest> boxes; // the reason's wording is the system's
    CScopedMessageBoxHandler handler([&](const MessageBoxRequest& request) {
        boxes.append(request);
        return MsgAnswer::Ok;
    });
    bed.Run([](CLauncherDialog& dialog) { Click(dialog, "downloadButton"); });
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("The installer could not be run: ")));
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Installer Failed"));
    EXPECT_TRUE(bed.WaitForMainProgram().has_value());
    EXPECT_FALSE(bed.Exists(QStringLiteral("vz.exe")));
}
