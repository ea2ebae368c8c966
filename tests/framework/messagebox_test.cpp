#include "framework/messagebox.h"
#include "framework/modaldialog.h"
#include "tests/fixtures/messageboxscript.h"

#include <QDialog>
#include <QLineEdit>

#include <gtest/gtest.h>

TEST(MessageBox, ScriptAnswersInOrderAndRecordsEveryBox)
{
    CMessageBoxScript boxes;
    boxes.Expect(QStringLiteral("first?"), MsgAnswer::Cancel)
        .Expect(QStringLiteral("second"), QStringLiteral("Caption"), MsgIcon::Stop);

    EXPECT_EQ(ShowMessageBox(nullptr, QStringLiteral("first?"), {}, MsgIcon::Question,
                             MsgButtons::OkCancel),
              MsgAnswer::Cancel);
    EXPECT_EQ(ShowMessageBox(nullptr, QStringLiteral("second"), QStringLiteral("Caption"),
                             MsgIcon::Stop),
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
