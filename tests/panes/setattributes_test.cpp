// The Attributes command of the FTP list against a real server.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "framework/modaldialog.h"
#include "ftp/fileattributesdlg.h"
#include "ftp/filemessages.h"
#include "inet/ftpconnection.h"
#include "panes/mylistview.h"
#include "profiles/profilerecord.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"
#include "tests/panes/panetesting.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const QString kSet = FileMessages::AttributesSetText();
const QString kNotSet = FileMessages::AttributesNotSetText();

int Mode(const QString& path)
{
    struct stat info
    {};
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// What the dialog showed, and the answers typed into it one after the other with OK.
struct DialogRun
{
    QString label;
    QString value;
    QString title;
};

} // namespace

class CSetAttributesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.IsRunning());
        server.MakeFolder("pub/a folder");
        server.MakeFile("pub/c.txt", "c");
        server.MakeFile("pub/d.txt", "d");
        server.MakeFolder("elsewhere");
        ASSERT_EQ(symlink("d.txt", QFile::encodeName(server.Root() + "/pub/b-link").constData()),
                  0);
        ASSERT_EQ(chmod(QFile::encodeName(server.Root() + "/pub/c.txt").constData(), 0755), 0);
        run = std::make_unique<CProgramRun>(TestCaseFolder() + "/home", ProfileFor(server));
        ASSERT_TRUE(run->Started());
        list = run->Frame().ListPane(1);
        list->FillList("/pub/");
        ASSERT_EQ(ShownNames(*list), (QStringList{"a folder", "b-link", "c.txt", "d.txt"}));
    }
    void TearDown() override { run.reset(); }

    // Runs the command, typing each of `answers` and pressing OK (an empty list cancels).
    DialogRun RunCommand(const QStringList& answers)
    {
        DialogRun seen;
        CScopedModalHandler handler([&](QDialog& dialog) {
            seen.title = dialog.windowTitle();
            seen.label = dialog.findChild<QLabel*>("fileLabel")->text();
            auto* edit = dialog.findChild<QLineEdit*>("valueEdit");
            seen.value = edit->text();
            auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
            if (answers.isEmpty()) {
                buttons->button(QDialogButtonBox::Cancel)->click();
                return int(QDialog::Rejected);
            }
            for (const QString& answer : answers) {
                edit->setText(answer);
                buttons->button(QDialogButtonBox::Ok)->click();
            }
            return int(QDialog::Rejected); // the dialog's own result counts when OK closed it
        });
        list->SetAttributes();
        return seen;
    }

    QString Path(const char* name) const { return server.Root() + "/pub/" + name; }

    CFtpServerFixture server;
    std::unique_ptr<CProgramRun> run;
    CMyListView* list = nullptr;
};

TEST_F(CSetAttributesTest, OneFileShowsItsValueRefusesNonOctalAndSetsTheTypedOne)
{
    SelectNames(*list, {"c.txt"});
    // The tree may have left the server in another folder; the command names the list's.
    ASSERT_TRUE(theApp().ftpConnection->SetCurrentDirectory("/elsewhere"));
    CMessageBoxScript& boxes = run->Boxes();
    const QString refusal = QStringLiteral(
        "The File Attributes must be given as one to four octal digits (0 to 7), for example 644.");
    boxes.Expect(refusal, "File Attributes", MsgIcon::Stop);
    boxes.Expect(refusal, "File Attributes", MsgIcon::Stop);
    boxes.Expect(kSet, FileMessages::AttributesSetCaption(), MsgIcon::Information);
    server.ClearLog();
    const DialogRun seen = RunCommand({"rw-r-----", "10644", "0640"});
    EXPECT_EQ(seen.title, "File Attributes");
    EXPECT_EQ(seen.label, "/pub/c.txt");
    EXPECT_EQ(seen.value, "755");
    EXPECT_EQ(boxes.Pending(), 0);
    EXPECT_EQ(Mode(Path("c.txt")), 0640);
    EXPECT_EQ(server.CountCommands("SITE"), 1) << "nothing sent for a refused answer";
    EXPECT_EQ(run->Frame().StatusText(0), "Ready");
}

TEST_F(CSetAttributesTest, StopsAtTheFirstFileThatDoesNotTakeTheValue)
{
    // A link's own line keeps showing rwxrwxrwx whatever its target becomes: the value does
    // not read back. Files before it are changed, files after it are not tried.
    SelectNames(*list, {"a folder", "b-link", "c.txt"});
    run->Boxes().Expect(kNotSet, FileMessages::AttributesNotSetCaption(), MsgIcon::Stop);
    server.ClearLog();
    const DialogRun seen = RunCommand({"700"});
    EXPECT_EQ(seen.label, "/pub/{multiple files}");
    EXPECT_EQ(Mode(Path("a folder")), 0700);
    EXPECT_EQ(Mode(Path("c.txt")), 0755);
    EXPECT_EQ(server.CountCommands("SITE"), 2);
    EXPECT_EQ(run->Boxes().Pending(), 0);
}

TEST_F(CSetAttributesTest, CancelSendsNothing)
{
    SelectNames(*list, {"c.txt", "d.txt"});
    server.ClearLog();
    RunCommand({});
    EXPECT_EQ(server.CountCommands("SITE"), 0);
    EXPECT_EQ(Mode(Path("c.txt")), 0755);
    EXPECT_TRUE(run->Boxes().Shown().isEmpty());
}
