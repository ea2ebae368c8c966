#include "framework/messagebox.h"
#include "framework/modaldialog.h"
#include "tests/fixtures/messageboxscript.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

TEST(MessageBox, ScriptAnswersInOrderAndRecordsEveryBox)
{
    CMessageBoxScript boxes;
    boxes.Expect(QStringLiteral("first?"), MsgAnswer::Cancel)
        .Expect(QStringLiteral("second"), QStringLiteral("Caption"), MsgIcon::Stop);

    EXPECT_EQ(ShowMessageBox(nullptr, QStringLiteral("first?"), {}, MsgIcon::Question,
                             MsgButtons::OkCancel),
              MsgAnswer::Cancel);
    EXPECT_EQ(
        ShowMessageBox(nullptr, QStringLiteral("second"), QStringLiteral("Caption"), MsgIcon::Stop),
        MsgAnswer::Ok);

    ASSERT_EQ(boxes.Shown().size(), 2);
    // A box without a caption of its own carries the program's title.
    EXPECT_EQ(boxes.Shown()[0].caption, QStringLiteral("Ardent Vantor"));
    EXPECT_EQ(boxes.Shown()[0].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(boxes.Pending(), 0);
}

TEST(MessageBox, HandlersNestAndTheOuterOneReturns)
{
    CMessageBoxScript outer;
    outer.Allow(QStringLiteral("outer"));
    {
        CMessageBoxScript inner;
        inner.Expect(QStringLiteral("inner"), MsgAnswer::Yes);
        EXPECT_EQ(ShowMessageBox(nullptr, QStringLiteral("inner"), {}, MsgIcon::Question,
                                 MsgButtons::YesNo),
                  MsgAnswer::Yes);
    }
    ShowMessageBox(nullptr, QStringLiteral("outer"));
    EXPECT_EQ(outer.Count(QStringLiteral("outer")), 1);
    EXPECT_EQ(outer.Count(QStringLiteral("inner")), 0);
}

// Without a handler the box is a real one: the explanation under the text, the details
// behind its Details button.
TEST(MessageBox, OnScreenTheExplanationAndTheDetailsHaveTheirPlaces)
{
    MessageBoxRequest request;
    request.text = QStringLiteral("The program was unable to connect to the requested FTP site.");
    request.explanation = QStringLiteral("The server refused the login.");
    request.details = QStringLiteral("530 Login incorrect.");
    request.icon = MsgIcon::Stop;
    const CScopedMessageBoxHandler onScreen({}); // no answering script: the real box
    QString seen;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen = box->windowTitle() + '|' + box->text() + '|' + box->informativeText() + '|' +
                   box->detailedText();
            box->accept();
        }
    });
    EXPECT_EQ(ShowMessageBox(request), MsgAnswer::Ok);
    EXPECT_EQ(seen, QStringLiteral("Ardent Vantor|The program was unable to connect to the "
                                   "requested FTP site.|The server refused the login.|530 Login "
                                   "incorrect."));
}

TEST(ModalDialog, HandlerDrivesTheDialogAndDecidesItsResult)
{
    QDialog dialog;
    auto* edit = new QLineEdit(&dialog);
    edit->setObjectName(QStringLiteral("edit"));

    bool shownWhileDriven = false;
    {
        CScopedModalHandler handler([&](QDialog& running) {
            shownWhileDriven = running.isVisible();
            running.findChild<QLineEdit*>(QStringLiteral("edit"))->setText(QStringLiteral("typed"));
            return int(QDialog::Accepted);
        });
        EXPECT_EQ(RunModalDialog(dialog), QDialog::Accepted);
    }
    EXPECT_TRUE(shownWhileDriven);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(edit->text(), QStringLiteral("typed"));

    // A dialog that closes itself keeps its own result.
    CScopedModalHandler rejecting([](QDialog& running) {
        running.reject();
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(RunModalDialog(dialog), QDialog::Rejected);
}
