// The communication status window: its controls, texts, progress, cancel and messages.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "framework/helpwindow.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "inet/internetexception.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <functional>

#include <gtest/gtest.h>

namespace {

const QString kCancelled = FileMessages::CancelledText();

template <typename Widget = QWidget>
Widget* Child(const QWidget& dialog, const char* name)
{
    auto* widget = dialog.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

QString LabelText(const QWidget& dialog, const char* name)
{
    const QLabel* label = Child<QLabel>(dialog, name);
    return label ? label->text() : QString();
}

// What a transfer does per file: one progress call after every full block of 1000 bytes.
QList<int> PositionsForFile(CCommStatusDialog& dialog, quint64 size)
{
    QList<int> positions;
    for (quint64 block = 0; (block + 1) * 1000 <= size; ++block) {
        EXPECT_TRUE(dialog.UpdateProgress(block, size));
        positions.append(dialog.ProgressPosition());
    }
    return positions;
}

} // namespace

class CCommStatusDialogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        frame = MakeMainFrame();
        dialog = new CCommStatusDialog(frame);
    }
    void TearDown() override { delete dialog; }

    CMainFrame* frame = nullptr;
    CCommStatusDialog* dialog = nullptr;
};

TEST_F(CCommStatusDialogTest, ControlsInTheirOrderWithTextsAndFirstVisibility)
{
    struct Control
    {
        const char* name;
        const char* text;
        bool visible;
    };
    const Control table[] = {
        {"titleLine", "", true},
        {"statusLine", "", true},
        {"cancelButton", "&Cancel Communication", false},
        {"connectLine", "", false},
        {"fromLabel", "From:", false},
        {"fromText", "", true},
        {"toLabel", "To:", false},
        {"toText", "", true},
        {"bytesCopiedLabel", "Bytes Copied:", false},
        {"bytesCopiedText", "", true},
        {"bytesPerSecondLabel", "Bytes Per Second:", false},
        {"bytesPerSecondText", "", true},
        {"timeLabel", "Time (for this file):", false},
        {"timeText", "", true},
        {"progressBar", nullptr, false},
        {"folderText", "", false},
        {"runningText", "", false},
        {"hideButton", "&Hide Program", false},
        {"helpButton", "H&elp", false},
    };
    dialog->Create();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Ardent Vantor Communication Status"));
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog->isModal());

    QStringList order;
    for (QObject* child : dialog->children()) {
        if (child->isWidgetType())
            order.append(child->objectName());
    }
    QStringList expectedOrder;
    for (const Control& control : table) {
        expectedOrder.append(QString::fromLatin1(control.name));
        QWidget* widget = Child(*dialog, control.name);
        if (!widget)
            continue;
        EXPECT_EQ(widget->isVisible(), control.visible) << control.name;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), QString::fromLatin1(control.text)) << control.name;
        }
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), QString::fromLatin1(control.text)) << control.name;
        }
    }
    EXPECT_EQ(order, expectedOrder);

    for (const char* centred : {"titleLine", "statusLine", "connectLine"})
        EXPECT_EQ(Child<QLabel>(*dialog, centred)->alignment() & Qt::AlignHCenter, Qt::AlignHCenter)
            << centred;
    for (const char* right : {"bytesPerSecondLabel", "timeLabel"})
        EXPECT_EQ(Child<QLabel>(*dialog, right)->alignment() & Qt::AlignRight, Qt::AlignRight)
            << right;
    const QProgressBar* bar = Child<QProgressBar>(*dialog, "progressBar");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
}

TEST_F(CCommStatusDialogTest, OpensCentredOverTheMainWindow)
{
    dialog->Create();
    const QPoint offset = dialog->frameGeometry().center() - frame->frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(CCommStatusDialogTest, TransferControlsAndLinesAppearAndStay)
{
    dialog->Create();
    dialog->SetConnectLine(QStringLiteral("Connecting to FTP Server - Please Wait"));
    EXPECT_TRUE(Child(*dialog, "connectLine")->isVisible());
    EXPECT_EQ(LabelText(*dialog, "connectLine"),
              QStringLiteral("Connecting to FTP Server - Please Wait"));

    dialog->ShowTransferControls();
    for (const char* name : {"helpButton", "cancelButton", "hideButton", "progressBar", "fromLabel",
                             "bytesCopiedLabel", "bytesPerSecondLabel", "toLabel", "timeLabel"})
        EXPECT_TRUE(Child(*dialog, name)->isVisible()) << name;

    dialog->SetTitleLine(
        QStringLiteral("Copying files from FTP Server to Local Computer - Please Wait"));
    dialog->SetStatusLine(QStringLiteral("Transferring Data"));
    dialog->SetFrom(QStringLiteral("localhost:/pub/a.bin"));
    dialog->SetTo(QStringLiteral("/home/u/a.bin"));
    EXPECT_EQ(LabelText(*dialog, "titleLine"),
              QStringLiteral("Copying files from FTP Server to Local Computer - Please Wait"));
    EXPECT_EQ(LabelText(*dialog, "statusLine"), QStringLiteral("Transferring Data"));
    EXPECT_EQ(LabelText(*dialog, "fromText"), QStringLiteral("localhost:/pub/a.bin"));
    EXPECT_EQ(LabelText(*dialog, "toText"), QStringLiteral("/home/u/a.bin"));

    // A long path is cut off by the window, it does not widen it.
    const int width = dialog->width();
    dialog->SetFrom(QStringLiteral("localhost:/") + QString(400, QLatin1Char('x')));
    EXPECT_EQ(dialog->width(), width);
}

TEST_F(CCommStatusDialogTest, ProgressPositionRoundsHalfUpAndStaysInRange)
{
    struct Case
    {
        quint64 block, total;
        int position;
    };
    const Case table[] = {
        {0, 2500, 40},
        {1, 2500, 80},
        {0, 1000, 100},
        {0, 3000, 33},
        {1, 3000, 67},
        {0, 8000, 13},
        {0, 1600, 63},
        {0, 200000, 1},
        {0, 5'000'000'000ULL, 0},
        {2'499'999, 5'000'000'000ULL, 50},
        {4'999'999, 5'000'000'000ULL, 100},
        {5, 2500, 100},
    };
    for (const Case& c : table) {
        EXPECT_TRUE(dialog->UpdateProgress(c.block, c.total));
        EXPECT_EQ(dialog->ProgressPosition(), c.position) << c.block << " of " << c.total;
    }
    // A file of no length has no full block: nothing moves.
    EXPECT_TRUE(dialog->UpdateProgress(0, 0));
    EXPECT_EQ(dialog->ProgressPosition(), 100);
}

TEST_F(CCommStatusDialogTest, TheLastPartialBlockNeverMovesTheBar)
{
    struct Case
    {
        quint64 size;
        QList<int> positions;
    };
    const Case table[] = {
        {2500, {40, 80}},
        {1000, {100}},
        {999, {}},
        {0, {}},
    };
    for (const Case& c : table) {
        CCommStatusDialog fresh(frame);
        EXPECT_EQ(PositionsForFile(fresh, c.size), c.positions) << c.size;
    }
}

TEST_F(CCommStatusDialogTest, ValueTextsOfABlock)
{
    struct Case
    {
        quint64 done;
        const char* total;
        qint64 seconds;
        const char* copied;
        const char* rate;
        const char* time;
    };
    const Case table[] = {
        {3000, "10240", 0, "3000 of 10240", "0", "00:00:00"},
        {3000, "10240", 1, "3000 of 10240", "3000", "00:00:01"},
        {10000, "20000", 3, "10000 of 20000", "3333", "00:00:03"},
        {65000, "70000", 65, "65000 of 70000", "1000", "00:01:05"},
        {360000, "1000000", 3599, "360000 of 1000000", "100", "00:59:59"},
        {8'640'000, "9000000", 86'399, "8640000 of 9000000", "100", "23:59:59"},
        {9'000'000, "9000000", 90'000, "9000000 of 9000000", "100", "01:00:00"},
        {5'000'000'000ULL, "5000000000", 50, "5000000000 of 5000000000", "100000000", "00:00:50"},
        // A wall clock set back during the file: no negative rate or time.
        {3000, "10240", -5, "3000 of 10240", "0", "00:00:00"},
    };
    dialog->Create();
    dialog->ShowTransferControls();
    for (const Case& c : table) {
        dialog->ShowTransferProgress(c.done, QString::fromLatin1(c.total), c.seconds);
        EXPECT_EQ(dialog->BytesCopiedText(), QString::fromLatin1(c.copied)) << c.copied;
        EXPECT_EQ(dialog->BytesPerSecondText(), QString::fromLatin1(c.rate)) << c.copied;
        EXPECT_EQ(dialog->ElapsedText(), QString::fromLatin1(c.time)) << c.copied;
    }
}

TEST_F(CCommStatusDialogTest, TheWindowCatchesUpWithTheValuesWhenItPolls)
{
    dialog->Create();
    dialog->ShowTransferControls();
    dialog->ShowTransferProgress(3000, QStringLiteral("10240"), 2);
    EXPECT_TRUE(dialog->UpdateProgress(2, 10240));
    // The first poll of an action shows at once; later ones at most every interval.
    EXPECT_EQ(LabelText(*dialog, "bytesCopiedText"), QStringLiteral("3000 of 10240"));
    EXPECT_EQ(LabelText(*dialog, "bytesPerSecondText"), QStringLiteral("1500"));
    EXPECT_EQ(LabelText(*dialog, "timeText"), QStringLiteral("00:00:02"));
    EXPECT_EQ(Child<QProgressBar>(*dialog, "progressBar")->value(), 29);

    dialog->ShowTransferProgress(4000, QStringLiteral("10240"), 2);
    EXPECT_TRUE(dialog->UpdateProgress(3, 10240));
    // A later poll, once the interval has passed, shows the new values.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            EXPECT_TRUE(dialog->PollCancel());
            return LabelText(*dialog, "bytesCopiedText") == QLatin1String("4000 of 10240");
        },
        5000));
    EXPECT_EQ(Child<QProgressBar>(*dialog, "progressBar")->value(), 39);
}

TEST_F(CCommStatusDialogTest, CancelShowsItsMessageAtEveryLaterPoll)
{
    CMessageBoxScript boxes;
    dialog->Create();
    dialog->ShowTransferControls();
    EXPECT_TRUE(dialog->PollCancel());
    EXPECT_TRUE(dialog->UpdateProgress(0, 5000));
    EXPECT_EQ(boxes.Shown().size(), 0);

    QTest::mouseClick(Child<QPushButton>(*dialog, "cancelButton"), Qt::LeftButton);
    EXPECT_TRUE(dialog->cancelRequested);
    boxes.Expect(kCancelled, FileMessages::CancelledCaption(), MsgIcon::Stop);
    boxes.Expect(kCancelled, FileMessages::CancelledCaption(), MsgIcon::Stop);
    EXPECT_FALSE(dialog->PollCancel());
    EXPECT_FALSE(dialog->UpdateProgress(1, 5000));
    ASSERT_EQ(boxes.Shown().size(), 2);
    EXPECT_EQ(boxes.Shown()[0].owner, frame);
}

TEST_F(CCommStatusDialogTest, CreateStartsWithoutACancel)
{
    dialog->cancelRequested = true;
    dialog->Create();
    EXPECT_FALSE(dialog->cancelRequested);
    EXPECT_TRUE(dialog->PollCancel());
}

TEST_F(CCommStatusDialogTest, DestinationInsideOrEqualToTheSourceIsRefused)
{
    struct Case
    {
        const char* source;
        const char* destination;
        bool allowed;
    };
    const Case table[] = {
        {"/a/", "/a/b/", false}, {"/a/", "/a/", false},
        {"/a/", "/ab/", true},   {"/a/", "/A/b/", true}, // case counts
        {"/a/b/", "/a/", true},  {"/home/u/docs/", "/home/u/docs/old/deep/", false},
    };
    for (const Case& c : table) {
        CMessageBoxScript boxes;
        if (!c.allowed)
            boxes.Expect(FileMessages::InsideSourceText(), FileMessages::InsideSourceCaption(),
                         MsgIcon::Stop);
        EXPECT_EQ(dialog->CheckNotInsideSource(QString::fromLatin1(c.source),
                                               QString::fromLatin1(c.destination)),
                  c.allowed)
            << c.source << " -> " << c.destination;
        if (!boxes.Shown().isEmpty()) {
            EXPECT_EQ(boxes.Shown()[0].owner, dialog);
        }
    }
}

TEST_F(CCommStatusDialogTest, ErrorReportsAndTheirOwner)
{
    struct Case
    {
        std::function<void(CCommStatusDialog&)> report;
        QString text;
        QString caption;
    };
    const Case table[] = {
        {[](CCommStatusDialog& d) { d.ReportCopyError(); }, FileMessages::CopyFileText(),
         FileMessages::CopyFileCaption()},
        {[](CCommStatusDialog& d) {
             d.ReportCopyError(CInternetException(InetErrorKind::Reply, QStringLiteral("550")));
         },
         FileMessages::CopyFileText(), FileMessages::CopyFileCaption()},
        {[](CCommStatusDialog& d) { d.ReportConnectError(); }, FileMessages::ConnectErrorText(),
         FileMessages::ConnectErrorCaption()},
    };
    for (const Case& c : table) {
        CMessageBoxScript boxes;
        boxes.Expect(c.text, c.caption, MsgIcon::Stop);
        c.report(*dialog);
        ASSERT_EQ(boxes.Shown().size(), 1);
        EXPECT_EQ(boxes.Shown()[0].owner, frame);
        EXPECT_EQ(boxes.Shown()[0].buttons, MsgButtons::Ok);
    }
}

TEST_F(CCommStatusDialogTest, NeitherEscNorTheWindowManagerClosesIt)
{
    dialog->Create();
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    QCloseEvent close;
    QCoreApplication::sendEvent(dialog->windowHandle(), &close);
    EXPECT_TRUE(dialog->isVisible());
}

TEST(CCommOperationTest, TakesTheMainWindowsInputAndSetsBusyForItsLifetime)
{
    CMainFrame* frame = MakeMainFrame();
    QPointer<CCommStatusDialog> dialog;
    {
        CCommOperation operation;
        dialog = &operation.Dialog();
        EXPECT_FALSE(frame->centralWidget()->isEnabled());
        EXPECT_FALSE(frame->menuBar()->isEnabled());
        EXPECT_TRUE(theApp().busy);
        EXPECT_TRUE(dialog->isVisible());
        // The status window stays usable although its owner refuses input, also when the
        // owner is disabled as a whole.
        EXPECT_TRUE(dialog->isEnabled());
        frame->setEnabled(false);
        EXPECT_TRUE(dialog->isEnabled());
        frame->setEnabled(true);
    }
    EXPECT_TRUE(frame->centralWidget()->isEnabled());
    EXPECT_TRUE(frame->menuBar()->isEnabled());
    EXPECT_FALSE(theApp().busy);
    EXPECT_TRUE(dialog.isNull());
}

TEST(CCommOperationTest, TheWindowShowsWhileShowCommWindowIsSetOrWhenAlwaysAskedFor)
{
    MakeMainFrame();
    struct Case
    {
        bool showCommWindow, always, visible;
    };
    const Case table[] = {
        {true, false, true},
        {false, false, false},
        {false, true, true},
    };
    for (const Case& c : table) {
        theApp().showCommWindow = c.showCommWindow;
        CCommOperation operation(c.always);
        EXPECT_EQ(operation.Dialog().isVisible(), c.visible) << c.showCommWindow << c.always;
    }
}

TEST(CCommOperationTest, HideProgramEnablesAndMinimisesTheMainWindow)
{
    CMainFrame* frame = MakeMainFrame();
    CCommOperation operation;
    operation.Dialog().ShowTransferControls();
    QTest::mouseClick(operation.Dialog().findChild<QPushButton*>(QStringLiteral("hideButton")),
                      Qt::LeftButton);
    EXPECT_TRUE(frame->isEnabled());
    EXPECT_TRUE(frame->windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(operation.Dialog().cancelRequested); // the action goes on
}

TEST(CCommOperationTest, HelpOpensTheStatusWindowTopicUsableWhileTheMainWindowIsDisabled)
{
    MakeMainFrame();
    theApp().programFolder = TestProgramFolder();
    ASSERT_TRUE(QFile::copy(QStringLiteral(VANTOR_PROGRAM_DIR "/Vantor.hlp"),
                            TestProgramFolder() + QStringLiteral("Vantor.hlp")));
    {
        CCommOperation operation;
        operation.Dialog().ShowTransferControls();
        QTest::mouseClick(operation.Dialog().findChild<QPushButton*>(QStringLiteral("helpButton")),
                          Qt::LeftButton);
        CHelpWindow* help = CHelpWindow::Current();
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(help->CurrentTopic(), QStringLiteral("200"));
        EXPECT_TRUE(help->isEnabled());
    }
    delete CHelpWindow::Current();
}

// Set VANTOR_SCREENSHOT_DIR to a folder to get a picture of the window in mid-transfer.
TEST(CCommStatusDialogPicture, TransferInProgress)
{
    CMainFrame* frame = MakeMainFrame();
    CCommStatusDialog dialog(frame);
    dialog.Create();
    dialog.SetTitleLine(
        QStringLiteral("Copying files from Local Computer to FTP Server - Please Wait"));
    dialog.SetStatusLine(QStringLiteral("Transferring Data"));
    dialog.ShowTransferControls();
    dialog.SetFrom(QStringLiteral("/home/user/Projects/report-2024.pdf"));
    dialog.SetTo(QStringLiteral("localhost:/pub/reports/report-2024.pdf"));
    dialog.ShowTransferProgress(6'553'000, QStringLiteral("10485760"), 65);
    EXPECT_TRUE(dialog.UpdateProgress(6552, 10'485'760));
    const QPixmap picture = dialog.grab();
    EXPECT_FALSE(picture.isNull());
    const QString folder = qEnvironmentVariable("VANTOR_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        EXPECT_TRUE(picture.save(QDir(folder).filePath(QStringLiteral("commstatusdialog.png"))));
    }
}
