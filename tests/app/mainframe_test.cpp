// The main window: menus, splitter, title, settings and the application commands.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "framework/helpwindow.h"
#include "framework/modaldialog.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString Home()
{
    const QString home = TestCaseFolder() + QStringLiteral("/home");
    QDir().mkpath(home + QStringLiteral("/folder"));
    return home;
}

QAction* Action(const CMainFrame& frame, const char* name)
{
    return frame.findChild<QAction*>(QString::fromLatin1(name));
}

// Opens and closes the Settings menu so that its check marks are brought up to date.
QString CheckedSortItem(const CMainFrame& frame)
{
    QMenu* settings = frame.findChild<QMenu*>(QStringLiteral("menuSettings"));
    emit settings->aboutToShow();
    QString checked;
    for (const char* name :
         {"actionSortByName", "actionSortByExtension", "actionSortBySize", "actionSortByDate"}) {
        if (Action(frame, name)->isChecked())
            checked += QString::fromLatin1(name).mid(12);
    }
    return checked;
}

} // namespace

TEST(MainFrame, MenuBarInItsOrderWithPrompts)
{
    CProgramRun run(Home());
    CMainFrame& frame = run.Frame();
    QStringList top;
    for (QAction* action : frame.menuBar()->actions())
        top.append(action->text());
    EXPECT_EQ(top, (QStringList{"&Profiles", "&Settings", "&Help"}));

    QStringList settings;
    for (QAction* action : frame.findChild<QMenu*>(QStringLiteral("menuSettings"))->actions())
        settings.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(settings, (QStringList{"   Sort By:", "&Name", "&Extension", "&Size", "&Date", "-",
                                     "&Use Drive A (and B)", "&Keep File Times",
                                     "&Transfers at Once", "&Refresh                 "}));
    QStringList help;
    for (QAction* action : frame.findChild<QMenu*>(QStringLiteral("menuHelp"))->actions())
        help.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(help, (QStringList{"&Contents", "&Search", "-", "&About Ardent Vantor...", "E&xit"}));

    EXPECT_EQ(Action(frame, "actionRefresh")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_EQ(Action(frame, "actionHelpContents")->shortcut(), QKeySequence(Qt::Key_F1));

    // A highlighted item's prompt shows in status pane 0; leaving it shows "Ready".
    Action(frame, "actionUseDrivesAB")->showStatusText(&frame);
    EXPECT_EQ(frame.StatusText(0), QStringLiteral("Read files from Drive A and Drive B"));
    QStatusTipEvent leave{QString()};
    QCoreApplication::sendEvent(&frame, &leave);
    EXPECT_EQ(frame.StatusText(0), QStringLiteral("Ready"));
}

TEST(MainFrame, FirstStartDefaultsAndTheNextStartRestores)
{
    {
        CProgramRun run(Home());
        CMainFrame& frame = run.Frame();
        EXPECT_EQ(frame.ColumnWidth(), 320);
        EXPECT_EQ(frame.RowHeight(), 240);
        EXPECT_EQ(frame.TreePane(1)->width(), frame.ColumnWidth()) << "one column width";
        EXPECT_EQ(CheckedSortItem(frame), QStringLiteral("Name"));
        EXPECT_EQ(frame.windowTitle(), QStringLiteral("Ardent Vantor - localhost"));

        Action(frame, "actionSortBySize")->trigger();
        EXPECT_EQ(CheckedSortItem(frame), QStringLiteral("Size"));
        frame.SetSplitterSizes(401, 203);
    }
    // The window saved its sizes when it went; a new start opens with them.
    CProgramRun again(Home());
    EXPECT_EQ(again.Frame().ColumnWidth(), 401);
    EXPECT_EQ(again.Frame().RowHeight(), 203);
    EXPECT_EQ(CheckedSortItem(again.Frame()), QStringLiteral("Size"));
}

TEST(AppCommands, AboutShowsTheVersion)
{
    CProgramRun run(Home());
    QString caption, version;
    CScopedModalHandler about([&](QDialog& dialog) {
        caption = dialog.windowTitle();
        version = dialog.findChild<QLabel*>(QStringLiteral("versionLabel"))->text();
        return int(QDialog::Accepted);
    });
    Action(run.Frame(), "actionAbout")->trigger();
    EXPECT_EQ(caption, QStringLiteral("About Ardent Vantor"));
    EXPECT_EQ(version, QStringLiteral("Ardent Vantor Version 8.77"));
}

TEST(AppCommands, KeepFileTimesIsOnUntilUnchecked)
{
    CProgramRun run(Home());
    CMainFrame& frame = run.Frame();
    QMenu* settings = frame.findChild<QMenu*>(QStringLiteral("menuSettings"));
    QAction* keep = Action(frame, "actionKeepFileTimes");
    ASSERT_TRUE(settings->actions().contains(keep));
    emit settings->aboutToShow();
    EXPECT_TRUE(keep->isChecked());
    for (const bool expected : {false, true}) {
        keep->trigger();
        EXPECT_EQ(theApp().keepFileTimes, expected);
        emit settings->aboutToShow();
        EXPECT_EQ(keep->isChecked(), expected);
    }
}

TEST(AppCommands, TransfersAtOnceIsTwoUntilAnotherIsChosen)
{
    CProgramRun run(Home());
    CMainFrame& frame = run.Frame();
    QMenu* settings = frame.findChild<QMenu*>(QStringLiteral("menuSettings"));
    const auto choice = [&frame](int count) {
        const QByteArray name = QByteArray("actionTransfersAtOnce") + QByteArray::number(count);
        return Action(frame, name.constData());
    };
    const auto checked = [&choice] {
        QList<int> counts;
        for (int count = 1; count <= 10; ++count) {
            if (choice(count)->isChecked())
                counts.append(count);
        }
        return counts;
    };
    emit settings->aboutToShow();
    EXPECT_EQ(checked(), QList<int>{2});
    for (const int chosen : {1, 10}) {
        choice(chosen)->trigger();
        EXPECT_EQ(theApp().parallelTransfers, chosen);
        emit settings->aboutToShow();
        EXPECT_EQ(checked(), QList<int>{chosen});
    }
}

TEST(AppCommands, UseDrivesABTogglesAndRefreshesOnlyWhenTurnedOn)
{
    CProgramRun run(Home());
    CMainFrame& frame = run.Frame();
    QMenu* settings = frame.findChild<QMenu*>(QStringLiteral("menuSettings"));
    QAction* drives = Action(frame, "actionUseDrivesAB");
    CMyTreeView& tree = *frame.TreePane(0);

    QTreeWidgetItem* before = tree.rootItem;
    drives->trigger();
    EXPECT_TRUE(theApp().useDrivesAB);
    emit settings->aboutToShow();
    EXPECT_TRUE(drives->isChecked());
    EXPECT_NE(tree.rootItem, before) << "turning it on rebuilds the local tree";

    before = tree.rootItem;
    drives->trigger();
    EXPECT_FALSE(theApp().useDrivesAB);
    emit settings->aboutToShow();
    EXPECT_FALSE(drives->isChecked());
    EXPECT_EQ(tree.rootItem, before) << "turning it off waits for the next Refresh";
}

TEST(MainFrame, DraggingEitherColumnBarMovesBothRows)
{
    CProgramRun run(Home());
    CMainFrame& frame = run.Frame();
    QSplitter* bottom = frame.findChild<QSplitter*>(QStringLiteral("bottomRow"));
    QSplitterHandle* handle = bottom->handle(1);
    const QPoint grip = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip + QPoint(60, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(60, 0));
    EXPECT_EQ(bottom->sizes().front(), 380);
    EXPECT_EQ(frame.ColumnWidth(), 380) << "the upper row follows the lower one";
    EXPECT_EQ(frame.TreePane(0)->width(), frame.TreePane(1)->width());
}

TEST(MainFrame, HelpCommandsOpenTheHelpFile)
{
    CProgramRun run(Home());
    QFile::copy(QStringLiteral(VANTOR_PROGRAM_DIR "/Vantor.hlp"), theApp().helpFilePath);
    run.Frame().findChild<QAction*>(QStringLiteral("actionHelpSearch"))->trigger();
    ASSERT_NE(CHelpWindow::Current(), nullptr);
    EXPECT_EQ(CHelpWindow::Current()->HelpFile(), theApp().helpFilePath);
    EXPECT_TRUE(CHelpWindow::Current()->SearchShown());
    run.Frame().findChild<QAction*>(QStringLiteral("actionHelpContents"))->trigger();
    EXPECT_FALSE(CHelpWindow::Current()->SearchShown());
}
