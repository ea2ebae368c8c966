// Closing the main window while an action runs, and the order in which it is taken down.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "profiles/profilerecord.h"
#include "tests/fixtures/fakeftpserver.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

ProfileRecord FakeProfile(const CFakeFtpServer& fake)
{
    ProfileRecord profile;
    profile.name = QStringLiteral("fake");
    profile.address = fake.Address();
    profile.userId = QStringLiteral("u");
    profile.password = QStringLiteral("p");
    return profile;
}

} // namespace

TEST(MainFrameClose, ACloseDuringAStalledListingStopsItAndClosesAfterIt)
{
    CFakeFtpServer fake;
    fake.SetListing("drwxr-xr-x  2 u g 4096 Mar 01  2021 slow\r\n");
    CProgramRun run(Home(), FakeProfile(fake));
    ASSERT_TRUE(run.Started());
    QPointer<CMainFrame> frame = &run.Frame();
    CMyTreeView& tree = *frame->TreePane(1);
    QTreeWidgetItem* slow = ChildItem(tree.rootItem, QStringLiteral("slow"));
    ASSERT_NE(slow, nullptr);

    // The window manager's close arrives while the server keeps the listing waiting.
    fake.On("LIST", [&frame](CFakeFtpServer::CSession& s, const QByteArray&) {
        QMetaObject::invokeMethod(frame.data(), &QWidget::close, Qt::QueuedConnection);
        s.Stall(20s);
    });
    tree.setCurrentItem(slow);

    // The listing ended (the request stopped it) and the panes are still there; no box
    // was shown for a read the user ended.
    ASSERT_FALSE(frame.isNull());
    EXPECT_TRUE(frame->ClosePending());
    EXPECT_FALSE(theApp().busy);
    EXPECT_EQ(frame->ListPane(1)->path, QStringLiteral("//slow/"));
    EXPECT_EQ(frame->ListPane(1)->ItemCount(), 0);
    EXPECT_TRUE(run.Boxes().Shown().isEmpty());

    // Back in the event loop, the window closes.
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame.isNull(); }, 5000));
    CCommStatusDialog::Disconnect();
}

TEST(MainFrameClose, APendingCloseWaitsForTheOutermostAction)
{
    CProgramRun run(Home());
    QPointer<CMainFrame> frame = &run.Frame();
    {
        CCommOperation outer;
        EXPECT_FALSE(frame->close());
        EXPECT_TRUE(outer.Dialog().cancelRequested);
        {
            CCommOperation inner;
        }
        // Events handled between two steps of the outer action do not take the window.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_FALSE(frame.isNull());
        EXPECT_TRUE(frame->isVisible());
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame.isNull(); }, 5000));
}

TEST(MainFrameClose, ThePanesGoBeforeTheDocument)
{
    CProgramRun run(Home());
    QList<QString> order;
    CMainFrame& frame = run.Frame();
    QObject::connect(frame.Document(), &QObject::destroyed, [&] { order.append("document"); });
    for (QWidget* pane :
         {static_cast<QWidget*>(frame.TreePane(0)), static_cast<QWidget*>(frame.ListPane(1))})
        QObject::connect(pane, &QObject::destroyed, [&] { order.append("pane"); });
    delete &frame;
    EXPECT_EQ(order, (QList<QString>{"pane", "pane", "document"}));
}
