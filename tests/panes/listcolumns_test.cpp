// The columns of the file lists: "Name" fills the list, the borders move under the mouse,
// and the widths outlive the program.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "panes/mylistview.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"

#include <QDir>
#include <QHeaderView>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString Home()
{
    const QString home = TestCaseFolder() + QStringLiteral("/home");
    QDir().mkpath(home);
    return home;
}

struct Widths
{
    int name;
    int size;
    int modified;
};

Widths ColumnWidths(const CMyListView& list)
{
    const QHeaderView* header = list.header();
    return {header->sectionSize(0), header->sectionSize(1), header->sectionSize(2)};
}

// The columns end exactly at the list's right edge: no empty band, no sideways scrolling.
void ExpectFilled(const CMyListView& list, const char* when)
{
    const Widths widths = ColumnWidths(list);
    EXPECT_EQ(widths.name + widths.size + widths.modified, list.viewport()->width())
        << list.objectName().toStdString() << ' ' << when;
}

// Drags the right edge of column `column` by `dx` pixels with the mouse.
void DragBorder(CMyListView& list, int column, int dx)
{
    QHeaderView* header = list.header();
    QWidget* target = header->viewport();
    const int y = header->height() / 2;
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) - 1;
    QTest::mousePress(target, Qt::LeftButton, {}, QPoint(x, y));
    QTest::mouseMove(target, QPoint(x + dx / 2, y));
    QTest::mouseMove(target, QPoint(x + dx, y));
    QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(x + dx, y));
}

} // namespace

TEST(ListColumns, NameTakesTheSpareWidth)
{
    CProgramRun run(Home());
    CMainFrame& frame = run.Frame();
    for (int side = 0; side < 2; ++side) {
        CMyListView& list = *frame.ListPane(side);
        const Widths widths = ColumnWidths(list);
        EXPECT_EQ(widths.size, 70);
        EXPECT_EQ(widths.modified, 130);
        ExpectFilled(list, "at start");
    }
    // The lists grow and shrink with the window; only "Name" changes.
    for (const int columnWidth : {200, 450}) {
        frame.SetSplitterSizes(columnWidth, 240);
        for (int side = 0; side < 2; ++side) {
            ExpectFilled(*frame.ListPane(side), "after the splitter moved");
            EXPECT_EQ(ColumnWidths(*frame.ListPane(side)).size, 70);
        }
    }
}

TEST(ListColumns, BordersMoveUnderTheMouse)
{
    struct Case
    {
        const char* what;
        int column; // whose right edge is dragged
        int dx;
        Widths change; // of name, size and modified
    };
    const Case cases[] = {
        {"Name|Size to the right", 0, 30, {30, -30, 0}},
        {"Name|Size to the left", 0, -40, {-40, 40, 0}},
        {"Size|Modified to the right", 1, 25, {0, 25, -25}},
        {"Size|Modified to the left", 1, -20, {0, -20, 20}},
        {"the right edge to the left", 2, -30, {30, 0, -30}},
    };
    CProgramRun run(Home());
    CMyListView& list = *run.Frame().ListPane(1);
    for (const Case& c : cases) {
        const Widths before = ColumnWidths(list);
        DragBorder(list, c.column, c.dx);
        const Widths after = ColumnWidths(list);
        EXPECT_EQ(after.name - before.name, c.change.name) << c.what;
        EXPECT_EQ(after.size - before.size, c.change.size) << c.what;
        EXPECT_EQ(after.modified - before.modified, c.change.modified) << c.what;
        ExpectFilled(list, c.what);
    }
    // A column right of a border gives no more than its minimum: the border stops there.
    DragBorder(list, 1, 400);
    EXPECT_EQ(ColumnWidths(list).modified, list.header()->minimumSectionSize());
    ExpectFilled(list, "after a drag past the minimum");
}

TEST(ListColumns, WidthsAreRememberedPerList)
{
    {
        CProgramRun run(Home());
        DragBorder(*run.Frame().ListPane(0), 1, 20);  // local: Size 90, Modified 110
        DragBorder(*run.Frame().ListPane(1), 2, -30); // server: Modified 100
    }
    CProgramRun again(Home());
    const Widths local = ColumnWidths(*again.Frame().ListPane(0));
    const Widths ftp = ColumnWidths(*again.Frame().ListPane(1));
    EXPECT_EQ(local.size, 90);
    EXPECT_EQ(local.modified, 110);
    EXPECT_EQ(ftp.size, 70);
    EXPECT_EQ(ftp.modified, 100);
    ExpectFilled(*again.Frame().ListPane(0), "after the restart");
    ExpectFilled(*again.Frame().ListPane(1), "after the restart");
}
