// Start-up, the shared state and the settings store.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "framework/settingsstore.h"
#include "ftp/filemessages.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

const QString kRegistryError = QStringLiteral("A Windows Registry Error was encountered.");

void Store(const QString& name, const QString& value)
{
    QSettings settings(CSettingsStore::FilePath(), QSettings::IniFormat);
    settings.setValue(name, value);
}

QString Stored(const QString& name)
{
    QSettings settings(CSettingsStore::FilePath(), QSettings::IniFormat);
    return settings.value(name).toString();
}

QString SortFlags()
{
    const CVantorApp& app = theApp();
    return QStringLiteral("%1%2%3%4")
        .arg(int(app.sortByName))
        .arg(int(app.sortByExtension))
        .arg(int(app.sortBySize))
        .arg(int(app.sortByDate));
}

// Starts happen without a server: the first-run profile's connect failure is allowed.
class AppTest : public testing::Test
{
protected:
    AppTest() { boxes.Allow(FileMessages::ConnectErrorText()); }
    CMessageBoxScript boxes;
};

} // namespace

using StartUp = AppTest;
using SaveSettings = AppTest;
using ResetState = AppTest;

TEST_F(StartUp, FillsThePathsFromTheWorkingDirectory)
{
    ASSERT_TRUE(theApp().InitInstance());
    EXPECT_EQ(theApp().programFolder, TestProgramFolder());
    EXPECT_EQ(theApp().helpFilePath, TestProgramFolder() + QStringLiteral("Vantor.hlp"));
    EXPECT_EQ(theApp().profileFilePath, TestProgramFolder() + QStringLiteral("Profiles.dat"));
    EXPECT_EQ(theApp().secondProfilePath, TestProgramFolder() + QStringLiteral("Profiles.pro"));
    ASSERT_NE(theApp().MainWindow(), nullptr);
    EXPECT_TRUE(theApp().MainWindow()->isVisible());
}

// A display name of its own would be appended by the desktop to every window title
// ("Ardent Vantor - Site — Ardent Vantor"); the titles are the program's to set.
TEST_F(StartUp, LeavesTheWindowTitlesAsTheyAreSet)
{
    ASSERT_TRUE(theApp().InitInstance());
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
}

TEST_F(StartUp, AnEmptyStoreGivesTheDefaults)
{
    ASSERT_TRUE(theApp().InitInstance());
    EXPECT_EQ(theApp().splitterWidth, 320);
    EXPECT_EQ(theApp().splitterHeight, 240);
    EXPECT_EQ(theApp().sortType, QStringLiteral("1"));
    EXPECT_EQ(SortFlags(), QStringLiteral("1000"));
    EXPECT_FALSE(theApp().useDrivesAB);
    EXPECT_TRUE(theApp().keepFileTimes);
    EXPECT_EQ(theApp().parallelTransfers, 2);
    EXPECT_TRUE(theApp().showCommWindow);
    EXPECT_TRUE(theApp().ftpSideInUse);
    // The launcher learns the installed version from the store.
    EXPECT_EQ(Stored(QStringLiteral("Version")), QStringLiteral("8.77"));
}

TEST_F(StartUp, RestoresWhatTheLastRunSaved)
{
    theApp().sortType = QStringLiteral("3");
    theApp().keepFileTimes = false;
    theApp().parallelTransfers = 7;
    theApp().SaveSettings(411, 199);
    EXPECT_EQ(Stored(QStringLiteral("KeepFileTimes")), QStringLiteral("0"));
    theApp().keepFileTimes = true;
    theApp().parallelTransfers = 2;

    ASSERT_TRUE(theApp().InitInstance());
    EXPECT_FALSE(theApp().keepFileTimes);
    EXPECT_EQ(theApp().parallelTransfers, 7);
    EXPECT_EQ(theApp().splitterWidth, 411);
    EXPECT_EQ(theApp().splitterHeight, 199);
    EXPECT_EQ(theApp().sortType, QStringLiteral("3"));
    EXPECT_EQ(SortFlags(), QStringLiteral("0010"));
}

TEST_F(StartUp, StoredValuesOutOfRange)
{
    struct Case
    {
        const char* sortType;
        const char* width;
        const char* height;
        const char* flags;
        int expectedWidth;
        int expectedHeight;
        const char* parallel = "";
        int expectedParallel = 2;
    };
    const Case cases[] = {
        {"2", "0", "-5", "0100", 320, 240, "0", 2},               // non-positive sizes fall back
        {"4", "10001", "99999999999", "0001", 320, 240, "11", 2}, // absurd sizes fall back
        {"7", "10000", "1", "0000", 10000, 1, "10", 10},          // unknown sort: no flag at all
        {"", "abc", "", "0000", 320, 240, "x", 2},                // empty sort text, garbage
        {"1 ", "500", "300", "0000", 500, 300, "1", 1},           // the text must match exactly
    };
    for (const Case& c : cases) {
        QFile::remove(CSettingsStore::FilePath());
        Store(QStringLiteral("SortType"), QString::fromLatin1(c.sortType));
        Store(QStringLiteral("SplitterWidth"), QString::fromLatin1(c.width));
        Store(QStringLiteral("SplitterHeight"), QString::fromLatin1(c.height));
        Store(QStringLiteral("ParallelTransfers"), QString::fromLatin1(c.parallel));
        ASSERT_TRUE(theApp().InitInstance());
        EXPECT_EQ(theApp().parallelTransfers, c.expectedParallel) << "parallel " << c.parallel;
        EXPECT_EQ(SortFlags(), QString::fromLatin1(c.flags)) << "SortType " << c.sortType;
        EXPECT_EQ(theApp().splitterWidth, c.expectedWidth) << "width " << c.width;
        EXPECT_EQ(theApp().splitterHeight, c.expectedHeight) << "height " << c.height;
        theApp().ResetState();
    }
}

// "Size,Modified" of each list; anything else gives the defaults of 70 and 130.
TEST_F(StartUp, StoredColumnWidths)
{
    struct Case
    {
        const char* stored;
        int size;
        int modified;
    };
    const Case cases[] = {
        {"90,150", 90, 150},  {" 80 , 120", 80, 120}, {"0,150", 70, 130},
        {"90,-1", 70, 130},   {"90", 70, 130},        {"90,150,7", 70, 130},
        {"abc,150", 70, 130}, {"", 70, 130},          {"90,99999", 70, 130},
    };
    for (const Case& c : cases) {
        QFile::remove(CSettingsStore::FilePath());
        Store(QStringLiteral("FtpListColumns"), QString::fromLatin1(c.stored));
        ASSERT_TRUE(theApp().InitInstance());
        EXPECT_EQ(theApp().listColumns[1].size, c.size) << c.stored;
        EXPECT_EQ(theApp().listColumns[1].modified, c.modified) << c.stored;
        EXPECT_EQ(theApp().listColumns[0].size, 70) << "the other list keeps its own";
        theApp().ResetState();
    }
    EXPECT_EQ(Stored(QStringLiteral("FtpListColumns")), QStringLiteral("70,130"));
}

TEST_F(SaveSettings, AStoreThatCannotBeWrittenIsReportedOnce)
{
    ASSERT_TRUE(theApp().InitInstance());
    theApp().ResetState(); // the window saves on its way out; nothing to report yet
    QFile::remove(CSettingsStore::FilePath());
    ASSERT_TRUE(QDir().mkpath(CSettingsStore::FilePath()));

    CMessageBoxScript registryBoxes;
    registryBoxes.Expect(kRegistryError, QStringLiteral("Ardent Vantor"), MsgIcon::Stop);
    theApp().SaveSettings(500, 400);
    EXPECT_EQ(registryBoxes.Shown().size(), 1);
}

TEST_F(SaveSettings, TheMainWindowSavesWhenItIsDestroyed)
{
    ASSERT_TRUE(theApp().InitInstance());
    theApp().mainFrame->SetSplitterSizes(333, 222);
    theApp().sortType = QStringLiteral("2");
    theApp().ResetState();
    EXPECT_EQ(Stored(QStringLiteral("SplitterWidth")), QStringLiteral("333"));
    EXPECT_EQ(Stored(QStringLiteral("SortType")), QStringLiteral("2"));
}

TEST_F(ResetState, GivesEveryMemberItsInitialValue)
{
    ASSERT_TRUE(theApp().InitInstance());
    CVantorApp& app = theApp();
    app.busy = app.ftpPanesReset = app.ftpUnavailable = app.resortOnly = true;
    app.showCommWindow = app.ftpSideInUse = false;
    app.useDrivesAB = true;
    app.keepFileTimes = false;
    app.activeProfileIndex = 3;
    app.ftpCurrentDir = QStringLiteral("/pub");
    app.ftpEntries.append(DirEntry{});
    app.listColumns[1] = {99, 98};
    app.ResetState();

    EXPECT_EQ(app.MainWindow(), nullptr);
    EXPECT_TRUE(app.programFolder.isEmpty());
    EXPECT_FALSE(app.busy || app.ftpPanesReset || app.ftpUnavailable || app.resortOnly);
    EXPECT_TRUE(app.showCommWindow && app.ftpSideInUse);
    EXPECT_FALSE(app.useDrivesAB);
    EXPECT_TRUE(app.keepFileTimes);
    EXPECT_EQ(app.activeProfileIndex, 0);
    EXPECT_TRUE(app.ftpCurrentDir.isEmpty());
    EXPECT_TRUE(app.ftpEntries.isEmpty());
    EXPECT_EQ(app.internetSession, nullptr);
    EXPECT_EQ(app.ftpConnection, nullptr);
    EXPECT_EQ(app.listColumns[1].size, 70);
    EXPECT_EQ(app.listColumns[1].modified, 130);
}
