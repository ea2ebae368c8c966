// The launcher's set-up: when it starts the main program at once, when it offers the
// download, and what it shows meanwhile.
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/launcher/launchertestbed.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QByteArray kVersionRequest = "GET /test5/maq/vz.ver HTTP/1.0\n\n";

QString FolderWithoutSlash()
{
    QString folder = TestProgramFolder();
    folder.chop(1);
    return folder;
}

void WriteSettingsWithoutVersion(const CLauncherTestbed& bed)
{
    QFile file(TestConfigFolder() + QStringLiteral("/Vantor98c.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[General]\nUpdateServer=" + bed.server.Address().toUtf8() + '\n');
}

} // namespace

TEST(LauncherSetUp, WithoutUpdateServerStartsMainProgramAtOnce)
{
    for (const char* setting : {"", "  "}) {
        SCOPED_TRACE(setting);
        CLauncherTestbed bed;
        bed.SetSetting(QStringLiteral("UpdateServer"), QString::fromLatin1(setting));
        bed.WriteMainProgram();
        EXPECT_EQ(bed.Run({}), 0);
        EXPECT_EQ(bed.WaitForMainProgram(), FolderWithoutSlash().toUtf8());
        EXPECT_TRUE(bed.server.Requests().isEmpty());
        QFile::remove(bed.PathOf(QStringLiteral("v.started")));
    }
}

// Whatever keeps the launcher from deciding, the user still gets the program.
TEST(LauncherSetUp, StartsMainProgramWhenNoNewerVersionOrNoAnswer)
{
    struct Case
    {
        const char* name;
        std::function<void(CLauncherTestbed&)> arrange;
        bool asked;
    };
    const auto version = [](const char* body) {
        return [body](CLauncherTestbed& bed) {
            bed.server.Serve("/test5/maq/vz.ver", CHttpTestServer::Ok(body));
        };
    };
    const Case cases[] = {
        {"same version", version("8.77\r\n"), true},
        {"same version, more parts", version("8.77.0"), true},
        {"older by number, newer by text", version("8.9\n"), true},
        {"garbled body", version("<html>new!</html>"), true},
        {"empty first line", version("\n8.78"), true},
        {"404",
         [](CLauncherTestbed& bed) {
             bed.server.Serve("/test5/maq/vz.ver",
                              CHttpTestServer::Raw("HTTP/1.0 404 Not Found\r\n\r\n8.78"));
         },
         true},
        {"no answer",
         [](CLauncherTestbed& bed) {
             CHttpTestServer::Reply silent;
             silent.holdOpen = true;
             bed.server.Serve("/test5/maq/vz.ver", silent);
         },
         true},
        {"server down", [](CLauncherTestbed& bed) { bed.server.Stop(); }, false},
        {"setting names no server",
         [](CLauncherTestbed& bed) {
             bed.SetSetting(QStringLiteral("UpdateServer"), QStringLiteral("127.0.0.1:http"));
         },
         false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        CLauncherTestbed bed;
        test.arrange(bed);
        bed.WriteMainProgram();
        LauncherOptions options = bed.Options();
        options.timeouts.answer = 200ms;
        EXPECT_EQ(bed.Run({}, nullptr, &options), 0);
        EXPECT_TRUE(bed.WaitForMainProgram().has_value());
        if (test.asked) {
            EXPECT_EQ(bed.server.Requests(), QList<QByteArray>{kVersionRequest});
        }
    }
}

TEST(LauncherSetUp, NewerVersionOffersDownloadAndCancelEndsWithoutStarting)
{
    struct Case
    {
        const char* installed; // nullptr: no Version stored
        const char* offered;
    };
    const Case cases[] = {
        {"8.77", "8.78\r\n"}, {"8.77", "8.100"}, {"8.77", "9\n"}, {nullptr, "0.1"}, {"", "1.0"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.offered);
        CLauncherTestbed bed;
        if (test.installed)
            bed.SetSetting(QStringLiteral("Version"), QString::fromLatin1(test.installed));
        else
            WriteSettingsWithoutVersion(bed);
        bed.server.Serve("/test5/maq/vz.ver", CHttpTestServer::Ok(test.offered));
        bool offered = false;
        int result = -1;
        // No "v.exe": starting it would show a box that nothing expects.
        EXPECT_EQ(bed.Run(
                      [&](CLauncherDialog& dialog) {
                          offered = true;
                          ExpectOfferState(dialog);
                          EXPECT_EQ(dialog.focusWidget(), Button(dialog, "downloadButton"));
                          Click(dialog, "cancelButton");
                      },
                      &result),
                  0);
        EXPECT_TRUE(offered);
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(bed.server.CountRequests("/test5/maq/vz.cxx"), 0);
    }
}

TEST(LauncherSetUp, EscapeInOfferStateEndsLikeCancel)
{
    CLauncherTestbed bed;
    int result = -1;
    bed.Run([](CLauncherDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); }, &result);
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(bed.server.CountRequests("/test5/maq/vz.cxx"), 0);
}

TEST(LauncherSetUp, WaitWindowShowsWhileCheckingAndClosesAfterwards)
{
    CLauncherTestbed bed;
    bed.server.Serve("/test5/maq/vz.ver",
                     CHttpTestServer::Blocks({CHttpTestServer::OkHeader(5), "8.77\n"}, 300ms));
    bed.WriteMainProgram();
    QString seenTitle;
    QString seenText;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == QLatin1String("LauncherWaitWindow") &&
                window->isVisible()) {
                seenTitle = window->windowTitle();
                seenText = window->findChild<QLabel*>("waitText")->text();
            }
        }
    });
    look.start(10);
    bed.Run({});
    look.stop();
    EXPECT_EQ(seenTitle, QStringLiteral("Loading Vantor - Please Wait"));
    EXPECT_EQ(seenText, QStringLiteral("Checking for current version ..."));
    for (QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->objectName().toStdString();
    EXPECT_TRUE(bed.WaitForMainProgram().has_value());
}

TEST(LauncherSetUp, MissingMainProgramIsReported)
{
    CLauncherTestbed bed;
    bed.SetSetting(QStringLiteral("UpdateServer"), QString());
    CMessageBoxScript boxes;
    boxes.Expect(QStringLiteral("The Vantor program could not be started:\n") +
                     bed.PathOf(QStringLiteral("v.exe")),
                 QStringLiteral("Launcher"), MsgIcon::Stop);
    EXPECT_EQ(bed.Run({}), 1);
}
