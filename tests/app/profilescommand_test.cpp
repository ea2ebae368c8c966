// The Profiles command end to end: the dialog over the real main window, then the
// reconnection with the active profile.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "framework/modaldialog.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "profiles/profilerecord.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QByteArray ProfileBytes()
{
    QFile file(theApp().profileFilePath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Click(QDialog& dialog, const char* button)
{
    QPushButton* target = dialog.findChild<QPushButton*>(QString::fromLatin1(button));
    ASSERT_NE(target, nullptr) << button;
    QTest::mouseClick(target, Qt::LeftButton);
}

void Type(QDialog& dialog, const char* field, const QString& text)
{
    QLineEdit* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(field));
    ASSERT_NE(edit, nullptr) << field;
    edit->setText(text);
}

} // namespace

TEST(ProfilesCommand, ClosingUnchangedRewritesTheFileAndReconnects)
{
    CFtpServerFixture server;
    server.MakeFile(QStringLiteral("first.txt"), "1");
    CProgramRun run(Home(), ProfileFor(server, QStringLiteral("Only")));
    const QByteArray before = ProfileBytes();
    ASSERT_FALSE(before.isEmpty());
    EXPECT_EQ(server.CountCommands(QStringLiteral("LOGIN")), 1);

    CScopedModalHandler dialog([](QDialog& profiles) {
        Click(profiles, "closeButton");
        return int(QDialog::Accepted);
    });
    run.Frame().findChild<QAction*>(QStringLiteral("actionProfiles"))->trigger();

    EXPECT_EQ(ProfileBytes(), before);
    EXPECT_EQ(server.CountCommands(QStringLiteral("LOGIN")), 2) << "a new login";
    EXPECT_EQ(run.Frame().windowTitle(), QStringLiteral("Ardent Vantor - Only"));
    EXPECT_EQ(ShownNames(*run.Frame().ListPane(1)), QStringList{"first.txt"});
    EXPECT_FALSE(theApp().ftpUnavailable);
}

TEST(ProfilesCommand, ANewActiveProfileBringsItsServerIntoTheFtpPanes)
{
    CFtpServerFixture first;
    first.MakeFile(QStringLiteral("on-first.txt"), "1");
    CFtpServerFixture second;
    second.MakeFolder(QStringLiteral("second-folder"));
    second.MakeFile(QStringLiteral("on-second.txt"), "2");
    CProgramRun run(Home(), ProfileFor(first, QStringLiteral("First")));

    CScopedModalHandler dialog([&](QDialog& profiles) {
        Click(profiles, "newProfileButton");
        Type(profiles, "nameEdit", QStringLiteral("Second"));
        Type(profiles, "addressEdit", second.Address());
        Type(profiles, "userIdEdit", QString::fromLatin1(CFtpServerFixture::kUser));
        Type(profiles, "passwordEdit", QString::fromLatin1(CFtpServerFixture::kPassword));
        profiles.findChild<QCheckBox*>(QStringLiteral("activeCheck"))->setChecked(true);
        Click(profiles, "addProfileButton");
        Click(profiles, "closeButton");
        return int(QDialog::Accepted);
    });
    run.Frame().findChild<QAction*>(QStringLiteral("actionProfiles"))->trigger();

    EXPECT_EQ(theApp().activeProfile.name, QStringLiteral("Second"));
    EXPECT_EQ(run.Frame().windowTitle(), QStringLiteral("Ardent Vantor - Second"));
    EXPECT_EQ(second.CountCommands(QStringLiteral("LOGIN")), 1);
    EXPECT_EQ(ShownNames(*run.Frame().ListPane(1)),
              (QStringList{"second-folder", "on-second.txt"}));
    QTreeWidgetItem* root = run.Frame().TreePane(1)->rootItem;
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->childCount(), 1);
    EXPECT_EQ(root->child(0)->text(0), QStringLiteral("second-folder"));
}
