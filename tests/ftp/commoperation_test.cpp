// The frame of an action: what it takes from the main window, in which order, and what it
// gives back.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "framework/modaldialog.h"
#include "framework/waitcursor.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "tests/fixtures/testhelpers.h"

#include <QAction>
#include <QDialog>
#include <QGuiApplication>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

CMainFrame* ShowMainFrame()
{
    CMainFrame* frame = MakeMainFrame();
    frame->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(frame));
    return frame;
}

QAction* Refresh(const CMainFrame& frame)
{
    return frame.findChild<QAction*>(QStringLiteral("actionRefresh"));
}

} // namespace

TEST(CCommOperationFrame, TakesTheInputBeforeTheStatusWindowLetsEventsRun)
{
    CMainFrame* frame = ShowMainFrame();
    theApp().showCommWindow = true;
    // Runs in the first pump of the frame, where a click that waited would run.
    bool panesEnabled = true, shortcutEnabled = true, busy = false, ran = false;
    QTimer::singleShot(0, frame, [&] {
        ran = true;
        panesEnabled = frame->centralWidget()->isEnabled();
        shortcutEnabled = Refresh(*frame)->isEnabled();
        busy = theApp().busy;
    });
    {
        CCommOperation operation;
        ASSERT_TRUE(ran);
    }
    EXPECT_FALSE(panesEnabled);
    EXPECT_FALSE(shortcutEnabled);
    EXPECT_TRUE(busy);
    EXPECT_TRUE(Refresh(*frame)->isEnabled());
}

TEST(CCommOperationFrame, NestedFramesGiveTheInputBackOnlyAtTheOutermostEnd)
{
    CMainFrame* frame = ShowMainFrame();
    QAction* help = frame->findChild<QAction*>(QStringLiteral("actionHelpContents"));
    help->setEnabled(false); // off for its own reasons: stays off
    {
        CCommOperation outer;
        {
            CCommOperation inner;
        }
        // Also when the user restores the minimised window meanwhile.
        frame->showMinimized();
        frame->showNormal();
        EXPECT_TRUE(theApp().busy);
        EXPECT_FALSE(frame->centralWidget()->isEnabled());
        EXPECT_FALSE(frame->menuBar()->isEnabled());
    }
    EXPECT_FALSE(theApp().busy);
    EXPECT_TRUE(frame->centralWidget()->isEnabled());
    EXPECT_TRUE(frame->menuBar()->isEnabled());
    EXPECT_TRUE(Refresh(*frame)->isEnabled());
    EXPECT_FALSE(help->isEnabled());
}

// The wait cursor is for work, never for a question to the user.
TEST(WaitCursor, BoxesAndDialogsShowTheNormalPointerAndTheWaitReturnsAfter)
{
    auto shape = [] {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        return cursor ? cursor->shape() : Qt::ArrowCursor;
    };
    Qt::CursorShape duringBox = Qt::WaitCursor;
    Qt::CursorShape duringDialog = Qt::WaitCursor;
    {
        CWaitCursor wait;
        CScopedMessageBoxHandler boxes([&](const MessageBoxRequest&) {
            duringBox = shape();
            return MsgAnswer::Ok;
        });
        ShowMessageBox(nullptr, QStringLiteral("Question"));
        CScopedModalHandler dialogs([&](QDialog&) {
            duringDialog = shape();
            return int(QDialog::Rejected);
        });
        QDialog dialog;
        RunModalDialog(dialog);
        EXPECT_EQ(shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(duringBox, Qt::ArrowCursor);
    EXPECT_EQ(duringDialog, Qt::ArrowCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
