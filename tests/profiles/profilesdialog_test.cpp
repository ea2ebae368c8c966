// The profiles dialog driven through its widgets: selecting lines, typing, the buttons and
// the boxes they raise, and what reaches the profile file and the application's active
// profile.
#include "app/vantorapp.h"
#include "framework/helpwindow.h"
#include "framework/modaldialog.h"
#include "profiles/profilefile.h"
#include "profiles/profileformat.h"
#include "profiles/profilesdialog.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QString kIncomplete =
    QStringLiteral("You must complete all required fields (indicated by *).");
const QString kConfirmDelete = QStringLiteral("Are you sure you want to delete this Profile?");

QString ActiveQuestion(const QString& name)
{
    return QStringLiteral("Would you like '%1' to be the Active Profile?").arg(name);
}

ProfileRecord Profile(const QString& name, bool isDefault = false)
{
    ProfileRecord record;
    record.name = name;
    record.address = name.toLower() + QStringLiteral(".example");
    record.userId = QStringLiteral("user");
    record.password = QStringLiteral("secret");
    record.isDefault = isDefault;
    return record;
}

class ProfilesDialogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        CVantorApp& app = theApp();
        app.programFolder = TestProgramFolder();
        app.profileFilePath = app.programFolder + QStringLiteral("Profiles.dat");
    }

    // Writes the file as the program would, with `active` as the running active profile.
    void WriteProfiles(QList<ProfileRecord> profiles, int active)
    {
        for (qsizetype i = 0; i < profiles.size(); ++i)
            profiles[i].isActive = i == active;
        ASSERT_TRUE(SaveProfiles(theApp().profileFilePath, profiles));
        theApp().activeProfileIndex = active;
        CopyConnectionFields(profiles[active], theApp().activeProfile);
    }

    QList<ProfileRecord> FileProfiles() const
    {
        return DecodeProfileFile(ReadFile(theApp().profileFilePath)).profiles;
    }

    void Open()
    {
        dialog = std::make_unique<CProfilesDialog>();
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    template <class T>
    T* Find(const char* name) const
    {
        T* widget = dialog->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QListWidget* List() const { return Find<QListWidget>("profileList"); }
    QLineEdit* Edit(const char* name) const { return Find<QLineEdit>(name); }
    bool Shows(const char* name) const { return Find<QWidget>(name)->isVisible(); }

    void Click(const char* button) const
    {
        QTest::mouseClick(Find<QAbstractButton>(button), Qt::LeftButton);
        QCoreApplication::processEvents();
    }

    void ClickLine(int line) const
    {
        QListWidget* list = List();
        const QRect rect = list->visualItemRect(list->item(line));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QCoreApplication::processEvents();
    }

    void Type(const char* field, const QString& text) const
    {
        QLineEdit* edit = Edit(field);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Delete);
        else
            QTest::keyClicks(edit, text);
    }

    int SelectedLine() const
    {
        const QList<QListWidgetItem*> selected = List()->selectedItems();
        return selected.isEmpty() ? -1 : List()->row(selected.front());
    }

    QComboBox* Security() const { return Find<QComboBox>("securityCombo"); }
    // Picks the security choice that begins with `text` by the keyboard, as a user would.
    void ChooseSecurity(const QString& text) const
    {
        QComboBox* combo = Security();
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Home);
        for (int i = 0; i < combo->count() && !combo->currentText().startsWith(text); ++i)
            QTest::keyClick(combo, Qt::Key_Down);
        ASSERT_TRUE(combo->currentText().startsWith(text)) << text.toStdString();
    }

    QStringList Lines() const
    {
        QStringList lines;
        for (int i = 0; i < List()->count(); ++i)
            lines.append(List()->item(i)->text());
        return lines;
    }

    std::unique_ptr<CProfilesDialog> dialog;
};

} // namespace

TEST_F(ProfilesDialogTest, OpensOnTheActiveProfile)
{
    WriteProfiles({Profile("A", true), Profile("B")}, 1);
    Open();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Ardent Vantor Profiles"));
    EXPECT_EQ(Lines(), QStringList({"A", "B"}));
    EXPECT_EQ(SelectedLine(), 1);
    EXPECT_EQ(Edit("nameEdit")->text(), QStringLiteral("B"));
    EXPECT_EQ(Edit("passwordEdit")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(Find<QCheckBox>("activeCheck")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("defaultCheck")->isChecked());
    EXPECT_EQ(Edit("commentEdit")->maxLength(), 100);
}

TEST_F(ProfilesDialogTest, WithOneProfileDeleteIsHiddenUntilASecondIsAdded)
{
    WriteProfiles({Profile("A", true)}, 0);
    Open();
    EXPECT_FALSE(Shows("deleteProfileButton"));

    Click("newProfileButton");
    EXPECT_TRUE(dialog->InNewProfileMode());
    EXPECT_TRUE(Shows("newProfileLabel"));
    EXPECT_TRUE(Shows("addProfileButton"));
    EXPECT_FALSE(Shows("newProfileButton"));
    EXPECT_FALSE(Shows("cancelChangesButton"));
    EXPECT_EQ(SelectedLine(), -1);
    EXPECT_TRUE(Edit("nameEdit")->text().isEmpty());
    EXPECT_TRUE(Edit("nameEdit")->hasFocus());

    Type("nameEdit", QStringLiteral("B"));
    Type("addressEdit", QStringLiteral("b.example"));
    Click("anonymousCheck");
    Click("addProfileButton");

    EXPECT_FALSE(dialog->InNewProfileMode());
    EXPECT_EQ(Lines(), QStringList({"A", "B"}));
    EXPECT_EQ(SelectedLine(), 1);
    EXPECT_EQ(dialog->ShownIndex(), 1);
    EXPECT_TRUE(Shows("deleteProfileButton"));
    EXPECT_FALSE(Shows("newProfileLabel"));
    EXPECT_FALSE(Shows("addProfileButton"));
    EXPECT_TRUE(dialog->Profiles()[1].anonymous);
}

TEST_F(ProfilesDialogTest, RequiredFieldsAreCheckedBeforeTheProfileIsLeft)
{
    struct Case
    {
        const char* what;
        const char* widget;
        QString ProfileRecord::*field;
        QString text;
        bool anonymous;
        bool complete;
    };
    const Case cases[] = {
        {"no password", "passwordEdit", &ProfileRecord::password, {}, false, false},
        {"no user ID", "userIdEdit", &ProfileRecord::userId, {}, false, false},
        {"no name", "nameEdit", &ProfileRecord::name, {}, false, false},
        {"no address", "addressEdit", &ProfileRecord::address, {}, false, false},
        {"anonymous", "commentEdit", &ProfileRecord::comment, QStringLiteral("c"), true, true},
        {"a name of blanks", "nameEdit", &ProfileRecord::name, QStringLiteral("   "), false, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        WriteProfiles({Profile("A", true), Profile("B")}, 0);
        Open();
        const ProfileRecord stored = dialog->Profiles()[0];
        if (test.anonymous)
            Click("anonymousCheck");
        Type(test.widget, test.text);
        CMessageBoxScript boxes;
        if (!test.complete)
            boxes.Expect(kIncomplete, QStringLiteral("Incomplete Profile"), MsgIcon::Stop);
        ClickLine(1);

        if (test.complete) {
            EXPECT_EQ(dialog->ShownIndex(), 1);
            EXPECT_EQ(dialog->Profiles()[0].*test.field, test.text);
            EXPECT_EQ(dialog->Profiles()[0].anonymous, test.anonymous);
            continue;
        }
        // Nothing stored, the edits still shown, the selection back on the shown profile.
        EXPECT_EQ(dialog->ShownIndex(), 0);
        EXPECT_EQ(SelectedLine(), 0);
        EXPECT_EQ(Edit(test.widget)->text(), test.text);
        EXPECT_EQ(dialog->Profiles()[0], stored);
        // Cancel Changes brings the stored values back, and then the profile can be left.
        Click("cancelChangesButton");
        EXPECT_EQ(Edit(test.widget)->text(), stored.*test.field);
        ClickLine(1);
        EXPECT_EQ(dialog->ShownIndex(), 1);
        EXPECT_EQ(boxes.Shown().size(), 1);
    }
}

TEST_F(ProfilesDialogTest, AnonymousClearsUserAndPasswordForGood)
{
    WriteProfiles({Profile("A", true)}, 0);
    Open();
    Type("userIdEdit", QStringLiteral("typed"));
    Type("passwordEdit", QStringLiteral("typed"));

    Click("anonymousCheck");
    EXPECT_TRUE(Edit("userIdEdit")->text().isEmpty());
    EXPECT_TRUE(Edit("passwordEdit")->text().isEmpty());
    EXPECT_EQ(Find<QLabel>("userIdLabel")->text(), QStringLiteral("User ID:"));
    // Read-only: typing changes nothing.
    QTest::keyClicks(Edit("userIdEdit"), QStringLiteral("more"));
    EXPECT_TRUE(Edit("userIdEdit")->text().isEmpty());

    Click("anonymousCheck");
    EXPECT_TRUE(Edit("userIdEdit")->text().isEmpty());
    EXPECT_TRUE(Edit("passwordEdit")->text().isEmpty());
    EXPECT_EQ(Find<QLabel>("passwordLabel")->text(), QStringLiteral("* Password:"));
    EXPECT_FALSE(Edit("passwordEdit")->isReadOnly());
}

TEST_F(ProfilesDialogTest, DefaultAndActiveCanOnlyBeTurnedOn)
{
    WriteProfiles({Profile("A", true), Profile("B")}, 0);
    Open();
    // Checked on A: a click leaves them checked.
    Click("defaultCheck");
    Click("activeCheck");
    EXPECT_TRUE(Find<QCheckBox>("defaultCheck")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("activeCheck")->isChecked());

    // Turned on for B, they go off on A when B is stored.
    ClickLine(1);
    Click("defaultCheck");
    Click("activeCheck");
    ClickLine(0);
    EXPECT_FALSE(dialog->Profiles()[0].isDefault);
    EXPECT_FALSE(dialog->Profiles()[0].isActive);
    EXPECT_TRUE(dialog->Profiles()[1].isDefault);
    EXPECT_TRUE(dialog->Profiles()[1].isActive);
    EXPECT_EQ(theApp().activeProfileIndex, 1);
    EXPECT_EQ(theApp().activeProfile.name, QStringLiteral("B"));
}

TEST_F(ProfilesDialogTest, EditsOfTheActiveProfileReachTheApplicationWhenStored)
{
    WriteProfiles({Profile("A"), Profile("B")}, 0);
    Open();
    Type("addressEdit", QStringLiteral("new.example"));
    ClickLine(1);
    EXPECT_EQ(theApp().activeProfile.address, QStringLiteral("new.example"));

    // Edits of another profile leave it alone.
    Type("addressEdit", QStringLiteral("other.example"));
    ClickLine(0);
    EXPECT_EQ(theApp().activeProfile.address, QStringLiteral("new.example"));
    EXPECT_EQ(theApp().activeProfileIndex, 0);
}

TEST_F(ProfilesDialogTest, DeleteHandsOverDefaultAndActive)
{
    struct Case
    {
        const char* what;
        int active;
        int isDefault;
        int shown;
        QStringList left;
        int selected;
        int activeAfter;
        int defaultAfter;
    };
    const Case cases[] = {
        {"A before the active C", 2, 2, 0, {"B", "C"}, 0, 1, 1},
        {"the active and default A", 0, 0, 0, {"B", "C"}, 0, 0, 0},
        {"the last line", 0, 0, 2, {"A", "B"}, 1, 0, 0},
        {"the active last line", 2, 0, 2, {"A", "B"}, 1, 1, 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        QList<ProfileRecord> abc = {Profile("A"), Profile("B"), Profile("C")};
        abc[test.isDefault].isDefault = true;
        WriteProfiles(abc, test.active);
        Open();
        ClickLine(test.shown);
        CMessageBoxScript boxes;
        boxes.Expect(kConfirmDelete, QStringLiteral("Confirm Delete Profile"), MsgIcon::Question);
        Click("deleteProfileButton");

        EXPECT_EQ(Lines(), test.left);
        EXPECT_EQ(SelectedLine(), test.selected);
        EXPECT_EQ(dialog->ShownIndex(), test.selected);
        EXPECT_EQ(Edit("nameEdit")->text(), test.left[test.selected]);
        EXPECT_EQ(theApp().activeProfileIndex, test.activeAfter);
        EXPECT_EQ(theApp().activeProfile.name, test.left[test.activeAfter]);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(dialog->Profiles()[i].isActive, i == test.activeAfter) << i;
            EXPECT_EQ(dialog->Profiles()[i].isDefault, i == test.defaultAfter) << i;
        }
    }
}

TEST_F(ProfilesDialogTest, DeleteCancelledKeepsEverything)
{
    WriteProfiles({Profile("A"), Profile("B")}, 0);
    Open();
    CMessageBoxScript boxes;
    boxes.Expect(kConfirmDelete, MsgAnswer::Cancel);
    Click("deleteProfileButton");
    EXPECT_EQ(Lines(), QStringList({"A", "B"}));
    EXPECT_EQ(dialog->Profiles().size(), 2);
}

TEST_F(ProfilesDialogTest, ClosingAsksOnceForTheActiveProfileAndSaves)
{
    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        SCOPED_TRACE(answer == MsgAnswer::Yes ? "Yes" : "No");
        WriteProfiles({Profile("A", true), Profile("B")}, 0);
        theApp().ftpPanesReset = false;
        Open();
        ClickLine(1);
        CMessageBoxScript boxes;
        boxes.Expect(ActiveQuestion(QStringLiteral("B")),
                     QStringLiteral("Confirm Active Profile Selection"), MsgIcon::Question, answer);
        Click("closeButton");

        EXPECT_FALSE(dialog->isVisible());
        EXPECT_TRUE(theApp().ftpPanesReset);
        const int active = answer == MsgAnswer::Yes ? 1 : 0;
        EXPECT_EQ(theApp().activeProfileIndex, active);
        EXPECT_EQ(theApp().activeProfile.name, Lines()[active]);
        const QList<ProfileRecord> saved = FileProfiles();
        ASSERT_EQ(saved.size(), 2);
        EXPECT_EQ(saved[0].isActive, active == 0);
        EXPECT_EQ(saved[1].isActive, active == 1);
    }
}

TEST_F(ProfilesDialogTest, EveryWayOfClosingSavesUnchangedBytesAndAsksForAReconnect)
{
    const QList<std::pair<const char*, std::function<void(CProfilesDialog&)>>> ways = {
        {"Close",
         [](CProfilesDialog& d) {
             QTest::mouseClick(d.findChild<QPushButton*>("closeButton"), Qt::LeftButton);
         }},
        {"Enter", [](CProfilesDialog& d) { QTest::keyClick(d.focusWidget(), Qt::Key_Return); }},
        {"Esc", [](CProfilesDialog& d) { QTest::keyClick(d.focusWidget(), Qt::Key_Escape); }},
        {"close box", [](CProfilesDialog& d) { d.close(); }},
    };
    for (const auto& [what, close] : ways) {
        SCOPED_TRACE(what);
        WriteProfiles({Profile("A", true), Profile("B")}, 1);
        const QByteArray before = ReadFile(theApp().profileFilePath);
        struct stat old = {};
        ASSERT_EQ(::stat(QFile::encodeName(theApp().profileFilePath).constData(), &old), 0);
        theApp().ftpPanesReset = false;

        dialog = std::make_unique<CProfilesDialog>();
        const CScopedModalHandler driver([&](QDialog& shown) {
            close(static_cast<CProfilesDialog&>(shown));
            return int(QDialog::Rejected);
        });
        EXPECT_EQ(RunModalDialog(*dialog), int(QDialog::Accepted));

        struct stat now = {};
        ASSERT_EQ(::stat(QFile::encodeName(theApp().profileFilePath).constData(), &now), 0);
        EXPECT_NE(now.st_ino, old.st_ino) << "the file was not written again";
        EXPECT_EQ(ReadFile(theApp().profileFilePath), before);
        EXPECT_TRUE(theApp().ftpPanesReset);
    }
}

TEST_F(ProfilesDialogTest, TheSecurityChoiceFollowsTheAddressScheme)
{
    struct Row
    {
        const char* address;
        const char* shown;
        bool warning;
    };
    const Row rows[] = {
        {"a.example", "Use TLS if available", false},
        {"ftpes://a.example", "Require explicit TLS", false},
        {"FTPS://a.example:2990", "Implicit TLS", false},
        {"ftp://a.example", "Plain FTP, insecure", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.address);
        ProfileRecord profile = Profile("A", true);
        profile.address = QString::fromLatin1(row.address);
        WriteProfiles({profile, Profile("B")}, 1);
        Open();
        ClickLine(0);
        EXPECT_TRUE(Security()->currentText().startsWith(QLatin1String(row.shown)));
        EXPECT_EQ(Shows("securityWarning"), row.warning);
        // Typing another scheme moves the choice along with it.
        Type("addressEdit", QStringLiteral("ftp://typed.example"));
        EXPECT_TRUE(Security()->currentText().startsWith(QLatin1String("Plain FTP")));
        EXPECT_TRUE(Shows("securityWarning"));
        Type("addressEdit", QStringLiteral("typed.example"));
        EXPECT_FALSE(Shows("securityWarning"));
        dialog.reset();
    }
}

// The choice is the address's scheme: the file keeps its layout, and only the address bytes
// of the changed profile differ.
TEST_F(ProfilesDialogTest, RequireExplicitTlsIsSavedAsTheSchemeByteForByte)
{
    const QByteArray head = QByteArray::fromHex("a1860100"   // one profile + 100000
                                                "44332211"); // the reserved word
    const QByteArray name = QByteArray::fromHex("03") + "abc";
    const QByteArray rest = QByteArray::fromHex("01000000"   // anonymous
                                                "00000000"   // user, password, folder, comment
                                                "01000000"   // default
                                                "01000000"); // active
    const QByteArray original = head + name + QByteArray::fromHex("01") + "h" + rest;
    {
        QFile file(theApp().profileFilePath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(original);
    }
    theApp().activeProfileIndex = 0;
    const QByteArray expected = head + name + QByteArray::fromHex("09") + "ftpes://h" + rest;

    Open();
    EXPECT_TRUE(Security()->currentText().startsWith(QLatin1String("Use TLS if available")));
    ChooseSecurity(QStringLiteral("Require explicit TLS"));
    EXPECT_EQ(Edit("addressEdit")->text(), QStringLiteral("ftpes://h"));
    Click("closeButton");
    EXPECT_EQ(ReadFile(theApp().profileFilePath).toHex(), expected.toHex());
    EXPECT_EQ(theApp().activeProfile.address, QStringLiteral("ftpes://h"));

    // Read back, the choice is there, and a close without changes writes the same bytes.
    Open();
    EXPECT_TRUE(Security()->currentText().startsWith(QLatin1String("Require explicit TLS")));
    EXPECT_FALSE(Shows("securityWarning"));
    Click("closeButton");
    EXPECT_EQ(ReadFile(theApp().profileFilePath).toHex(), expected.toHex());

    // Back to "if available": the bare host again, the file as it began.
    Open();
    ChooseSecurity(QStringLiteral("Use TLS if available"));
    Click("closeButton");
    EXPECT_EQ(ReadFile(theApp().profileFilePath).toHex(), original.toHex());
}

TEST_F(ProfilesDialogTest, NewProfileThenCloseLeavesTheListUnchanged)
{
    WriteProfiles({Profile("A", true), Profile("B")}, 0);
    const QByteArray before = ReadFile(theApp().profileFilePath);
    Open();
    Click("newProfileButton");
    Type("nameEdit", QStringLiteral("unfinished"));
    Click("closeButton");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(ReadFile(theApp().profileFilePath), before);
}

TEST_F(ProfilesDialogTest, AFailedSaveKeepsTheDialogAndTheEdits)
{
    // A program folder that is gone stops root as well as anyone else.
    const QString folder = TestCaseFolder() + QStringLiteral("/store");
    ASSERT_TRUE(QDir().mkpath(folder));
    theApp().profileFilePath = folder + QStringLiteral("/Profiles.dat");
    const QString failure =
        QStringLiteral("The profiles could not be saved to \"%1\": No such file or directory.\n\n"
                       "The file was left as it was. Do you want to close the profiles without "
                       "saving your changes?")
            .arg(theApp().profileFilePath);

    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        SCOPED_TRACE(answer == MsgAnswer::Yes ? "give up" : "stay");
        ASSERT_TRUE(QDir().mkpath(folder));
        WriteProfiles({Profile("A", true), Profile("B")}, 0);
        Open();
        ClickLine(1);
        Click("activeCheck");
        Type("commentEdit", QStringLiteral("typed before the failure"));
        ASSERT_TRUE(QDir(folder).removeRecursively());

        CMessageBoxScript boxes;
        boxes.Expect(failure, QStringLiteral("Profiles Not Saved"), MsgIcon::Stop, answer);
        Click("closeButton");
        if (answer == MsgAnswer::No) {
            EXPECT_TRUE(dialog->isVisible());
            EXPECT_EQ(Edit("commentEdit")->text(), QStringLiteral("typed before the failure"));
            EXPECT_EQ(dialog->Profiles()[1].comment, QStringLiteral("typed before the failure"));
            EXPECT_FALSE(theApp().ftpPanesReset);
            // Once the folder is back, closing saves what was typed.
            ASSERT_TRUE(QDir().mkpath(folder));
            Click("closeButton");
            EXPECT_FALSE(dialog->isVisible());
            ASSERT_EQ(FileProfiles().size(), 2);
            EXPECT_EQ(FileProfiles()[1].comment, QStringLiteral("typed before the failure"));
        } else {
            // Given up: the running program keeps the profile it had.
            EXPECT_FALSE(dialog->isVisible());
            EXPECT_EQ(theApp().activeProfileIndex, 0);
            EXPECT_EQ(theApp().activeProfile.name, QStringLiteral("A"));
        }
    }
}

TEST_F(ProfilesDialogTest, LongTextsFromTheFileSurviveAStore)
{
    ProfileRecord a = Profile("A", true);
    a.comment = QString(150, QLatin1Char('c'));
    WriteProfiles({a, Profile("B")}, 0);
    Open();
    EXPECT_EQ(Edit("commentEdit")->text(), a.comment);
    ClickLine(1);
    EXPECT_EQ(dialog->Profiles()[0].comment, a.comment);
    // Typing stays limited for a profile of ordinary length.
    Type("commentEdit", QString(120, QLatin1Char('x')));
    EXPECT_EQ(Edit("commentEdit")->text().size(), 100);
}

TEST_F(ProfilesDialogTest, HelpOpensTheProfilesTopicOrNamesTheMissingFile)
{
    WriteProfiles({Profile("A", true)}, 0);
    Open();
    const QString help = TestProgramFolder() + QStringLiteral("Vantor.hlp");
    {
        CMessageBoxScript boxes;
        boxes.Expect(
            QStringLiteral("The help file \"%1\" could not be opened: No such file or directory.")
                .arg(help));
        Click("helpButton");
    }
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(VANTOR_FIXTURES_DIR "/../../resources/Vantor.hlp"), help));
    Click("helpButton");
    CHelpWindow* window = CHelpWindow::Current();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->HelpFile(), help);
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("300"));
    // Usable while the modal dialog is up, and gone with it.
    EXPECT_EQ(window->parentWidget(), dialog.get());
    dialog.reset();
    EXPECT_EQ(CHelpWindow::Current(), nullptr);
}
