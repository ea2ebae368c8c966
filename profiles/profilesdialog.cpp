#include "profiles/profilesdialog.h"

#include "app/resourceids.h"
#include "app/vantorapp.h"
#include "framework/helpwindow.h"
#include "framework/messagebox.h"
#include "framework/waitcursor.h"
#include "inet/ftpsecurity.h"
#include "profiles/profilefile.h"

#include "ui_profilesdialog.h"

#include <QSignalBlocker>
#include <QStyle>

#include <algorithm>

namespace {

// What the user may type into each field.
constexpr int kMaxFieldLength = 100;

const QString kUserIdRequired = QStringLiteral("* User ID:");
const QString kUserIdOptional = QStringLiteral("User ID:");
const QString kPasswordRequired = QStringLiteral("* Password:");
const QString kPasswordOptional = QStringLiteral("Password:");

// The security choices, in the order of the list; each stands for a scheme of the address.
struct SecurityChoice
{
    const char* text;
    FtpSecurity security;
};
constexpr SecurityChoice kSecurityChoices[] = {
    {"Use TLS if available", FtpSecurity::Opportunistic},
    {"Require explicit TLS (ftpes://)", FtpSecurity::Explicit},
    {"Implicit TLS (ftps://)", FtpSecurity::Implicit},
    {"Plain FTP, insecure (ftp://)", FtpSecurity::Plain},
};

} // namespace

CProfilesDialog::CProfilesDialog(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::CProfilesDialog>())
{
    ui->setupUi(this);
    // A title bar with a close box, and nothing else (no help or context buttons).
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    // A change of line is handled once the click or key that made it is over, so that a
    // message box about the profile being left does not open in the middle of it.
    connect(ui->profileList, &QListWidget::itemSelectionChanged, this,
            &CProfilesDialog::OnSelectionChanged, Qt::QueuedConnection);
    connect(ui->newProfileButton, &QPushButton::clicked, this, &CProfilesDialog::OnNewProfile);
    connect(ui->addProfileButton, &QPushButton::clicked, this, &CProfilesDialog::OnAddProfile);
    connect(ui->cancelChangesButton, &QPushButton::clicked, this,
            &CProfilesDialog::OnCancelChanges);
    connect(ui->deleteProfileButton, &QPushButton::clicked, this,
            &CProfilesDialog::OnDeleteProfile);
    connect(ui->anonymousCheck, &QCheckBox::clicked, this, &CProfilesDialog::OnAnonymous);
    SetUpSecurityChoice();
    connect(ui->closeButton, &QPushButton::clicked, this, &CProfilesDialog::OnClose);
    connect(ui->helpButton, &QPushButton::clicked, this, &CProfilesDialog::OnHelp);
    // Either flag can only be turned on here; it goes off on the other profiles when this
    // one is stored.
    for (QCheckBox* box : {ui->defaultCheck, ui->activeCheck}) {
        connect(box, &QCheckBox::clicked, box, [box](bool checked) {
            if (!checked)
                box->setChecked(true);
        });
    }

    // Room for both layouts from the start, so that New Profile does not resize the window.
    resize(sizeHint().expandedTo(size()));

    CVantorApp& app = theApp();
    skipValidation = true;
    LoadProfiles(app.profileFilePath, profiles);
    openedActiveIndex = app.activeProfileIndex;
    openedActiveProfile = app.activeProfile;
    {
        const QSignalBlocker quiet(ui->profileList);
        for (const ProfileRecord& record : profiles)
            ui->profileList->addItem(record.name);
    }
    ui->profileList->setFocus();
    SelectLine(app.activeProfileIndex);
    ShowSelectedProfile();
}

CProfilesDialog::~CProfilesDialog() = default;

void CProfilesDialog::ShowSelectedProfile()
{
    if (skipValidation) {
        skipValidation = false;
    } else if (!newProfileMode && !StoreCurrentProfile()) {
        return;
    }
    if (SelectedLine() < 0)
        SelectLine(shownIndex);
    shownIndex = SelectedLine();
    WriteFields(profiles[shownIndex]);
    ShowNormalLayout();
    newProfileMode = false;
    ApplyAnonymousState(ui->anonymousCheck->isChecked());
}

bool CProfilesDialog::StoreCurrentProfile()
{
    const ProfileRecord record = ReadFields();
    // Exactly these fields, untrimmed: a name of blanks is a name.
    const bool complete =
        !record.name.isEmpty() && !record.address.isEmpty() &&
        (record.anonymous || (!record.userId.isEmpty() && !record.password.isEmpty()));
    if (!complete) {
        // A new profile has no line yet; the list keeps showing no selection for it.
        if (!newProfileMode)
            SelectLine(shownIndex);
        ShowMessageBox(this,
                       QStringLiteral("You must complete all required fields (indicated by *)."),
                       QStringLiteral("Incomplete Profile"), MsgIcon::Stop);
        return false;
    }

    if (record.isDefault) {
        for (ProfileRecord& other : profiles)
            other.isDefault = false;
    }
    if (record.isActive) {
        for (ProfileRecord& other : profiles)
            other.isActive = false;
    }

    int index = shownIndex;
    if (newProfileMode) {
        profiles.append(record);
        index = static_cast<int>(profiles.size()) - 1;
        {
            const QSignalBlocker quiet(ui->profileList);
            ui->profileList->addItem(record.name);
        }
        SelectLine(index);
        ShowSelectedProfile();
        newProfileMode = false;
    } else {
        profiles[shownIndex] = record;
        ui->profileList->item(shownIndex)->setText(record.name);
    }

    if (record.isActive) {
        CVantorApp& app = theApp();
        app.activeProfileIndex = index;
        CopyConnectionFields(record, app.activeProfile);
    }
    return true;
}

void CProfilesDialog::OnSelectionChanged()
{
    ShowSelectedProfile();
}

void CProfilesDialog::OnNewProfile()
{
    ui->newProfileLabel->show();
    ui->addProfileButton->show();
    ui->deleteProfileButton->hide();
    ui->newProfileButton->hide();
    ui->cancelChangesButton->hide();
    ApplyAnonymousState(false);

    SelectLine(-1);
    WriteFields(ProfileRecord());
    ui->nameEdit->setFocus();
    newProfileMode = true;
}

void CProfilesDialog::OnAddProfile()
{
    if (newProfileMode)
        StoreCurrentProfile();
}

void CProfilesDialog::OnCancelChanges()
{
    skipValidation = true;
    ShowSelectedProfile();
}

void CProfilesDialog::OnDeleteProfile()
{
    // The button is hidden in these states; a shortcut must not get around that.
    if (newProfileMode || profiles.size() <= 1)
        return;
    if (ShowMessageBox(this, QStringLiteral("Are you sure you want to delete this Profile?"),
                       QStringLiteral("Confirm Delete Profile"), MsgIcon::Question,
                       MsgButtons::OkCancel) != MsgAnswer::Ok)
        return;

    const int deleted = shownIndex;
    const bool wasDefault = profiles[deleted].isDefault;
    const bool wasActive = profiles[deleted].isActive;
    profiles.removeAt(deleted);
    {
        const QSignalBlocker quiet(ui->profileList);
        delete ui->profileList->takeItem(deleted);
    }
    const int next = deleted < profiles.size() ? deleted : deleted - 1;
    SelectLine(next);

    CVantorApp& app = theApp();
    if (wasDefault)
        profiles[next].isDefault = true;
    if (wasActive) {
        profiles[next].isActive = true;
        app.activeProfileIndex = next;
        CopyConnectionFields(profiles[next], app.activeProfile);
    } else if (deleted < app.activeProfileIndex) {
        --app.activeProfileIndex;
    }

    skipValidation = true;
    ShowSelectedProfile();
}

void CProfilesDialog::SetUpSecurityChoice()
{
    for (const SecurityChoice& choice : kSecurityChoices)
        ui->securityCombo->addItem(QString::fromLatin1(choice.text),
                                   static_cast<int>(choice.security));
    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    ui->securityWarning->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(iconSize));
    ui->securityWarning->setToolTip(
        QStringLiteral("Plain FTP sends the user ID, the password and the files unencrypted."));
    ui->securityWarning->setAccessibleName(ui->securityWarning->toolTip());
    // The list keeps its width whether the warning shows or not.
    QSizePolicy keepRoom = ui->securityWarning->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    ui->securityWarning->setSizePolicy(keepRoom);
    // The address is what is stored: the choice shows its scheme and, when the user picks
    // another one, rewrites the scheme and nothing else of it.
    connect(ui->addressEdit, &QLineEdit::textChanged, this, &CProfilesDialog::ShowSecurity);
    connect(ui->securityCombo, &QComboBox::activated, this, &CProfilesDialog::OnSecurityChosen);
    ShowSecurity(ui->addressEdit->text());
}

void CProfilesDialog::ShowSecurity(const QString& address)
{
    const FtpSecurity security = SecurityOfAddress(address);
    {
        const QSignalBlocker quiet(ui->securityCombo);
        ui->securityCombo->setCurrentIndex(ui->securityCombo->findData(static_cast<int>(security)));
    }
    ui->securityWarning->setVisible(security == FtpSecurity::Plain);
}

void CProfilesDialog::OnSecurityChosen(int index)
{
    const auto security = static_cast<FtpSecurity>(ui->securityCombo->itemData(index).toInt());
    QLineEdit* edit = ui->addressEdit;
    const QString address = AddressWithSecurity(edit->text(), security);
    // The scheme may take the text past the typing limit; cutting the host would be worse.
    edit->setMaxLength(std::max<int>(edit->maxLength(), static_cast<int>(address.size())));
    edit->setText(address);
    ShowSecurity(address);
}

void CProfilesDialog::OnAnonymous(bool checked)
{
    if (checked) {
        ui->userIdEdit->clear();
        ui->passwordEdit->clear();
    }
    ApplyAnonymousState(checked);
}

void CProfilesDialog::accept()
{
    OnClose();
}

void CProfilesDialog::reject()
{
    OnClose();
}

void CProfilesDialog::OnClose()
{
    // An unfinished new profile is dropped without a question.
    if (!newProfileMode) {
        if (!ui->activeCheck->isChecked()) {
            const QString question = QStringLiteral("Would you like '%1' to be the Active Profile?")
                                         .arg(ui->nameEdit->text());
            if (ShowMessageBox(this, question, QStringLiteral("Confirm Active Profile Selection"),
                               MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes)
                ui->activeCheck->setChecked(true);
        }
        if (!StoreCurrentProfile())
            return;
    }
    if (!SaveList())
        return;
    theApp().ftpPanesReset = true;
    QDialog::done(QDialog::Accepted);
}

bool CProfilesDialog::SaveList()
{
    CVantorApp& app = theApp();
    QString reason;
    bool saved = false;
    {
        const CWaitCursor wait;
        saved = WriteProfiles(app.profileFilePath, profiles, app.profileFileReserved, reason);
    }
    if (saved)
        return true;

    // Staying open keeps everything typed; the user may also give up on the changes, or a
    // folder that cannot be written would keep the dialog open for good.
    const QString text =
        QStringLiteral("The profiles could not be saved to \"%1\": %2.\n\nThe file was left as "
                       "it was. Do you want to close the profiles without saving your changes?")
            .arg(app.profileFilePath, reason);
    if (ShowMessageBox(this, text, QStringLiteral("Profiles Not Saved"), MsgIcon::Stop,
                       MsgButtons::YesNo) != MsgAnswer::Yes)
        return false;
    app.activeProfileIndex = openedActiveIndex;
    app.activeProfile = openedActiveProfile;
    return true;
}

void CProfilesDialog::OnHelp()
{
    ShowHelpContext(theApp().programFolder + QStringLiteral("Vantor.hlp"),
                    ResourceId::kHelpProfiles, this);
}

ProfileRecord CProfilesDialog::ReadFields() const
{
    ProfileRecord record;
    record.name = ui->nameEdit->text();
    record.address = ui->addressEdit->text();
    record.anonymous = ui->anonymousCheck->isChecked();
    record.userId = ui->userIdEdit->text();
    record.password = ui->passwordEdit->text();
    record.initialDir = ui->initialDirEdit->text();
    record.comment = ui->commentEdit->text();
    record.isDefault = ui->defaultCheck->isChecked();
    record.isActive = ui->activeCheck->isChecked();
    return record;
}

void CProfilesDialog::WriteFields(const ProfileRecord& record)
{
    // Texts longer than the fields take (from a file written elsewhere) are shown whole:
    // cutting them here would change the profile on the next store.
    for (QLineEdit* edit : {ui->nameEdit, ui->addressEdit, ui->userIdEdit, ui->passwordEdit,
                            ui->initialDirEdit, ui->commentEdit})
        edit->setMaxLength(kMaxFieldLength);
    const auto show = [](QLineEdit* edit, const QString& text) {
        edit->setMaxLength(std::max<int>(kMaxFieldLength, static_cast<int>(text.size())));
        edit->setText(text);
        edit->setCursorPosition(0);
    };
    show(ui->nameEdit, record.name);
    show(ui->addressEdit, record.address);
    ShowSecurity(record.address);
    ui->anonymousCheck->setChecked(record.anonymous);
    show(ui->userIdEdit, record.userId);
    show(ui->passwordEdit, record.password);
    show(ui->initialDirEdit, record.initialDir);
    show(ui->commentEdit, record.comment);
    ui->defaultCheck->setChecked(record.isDefault);
    ui->activeCheck->setChecked(record.isActive);
}

void CProfilesDialog::ApplyAnonymousState(bool anonymous)
{
    ui->userIdEdit->setReadOnly(anonymous);
    ui->passwordEdit->setReadOnly(anonymous);
    ui->userIdLabel->setText(anonymous ? kUserIdOptional : kUserIdRequired);
    ui->passwordLabel->setText(anonymous ? kPasswordOptional : kPasswordRequired);
}

void CProfilesDialog::ShowNormalLayout()
{
    ui->newProfileLabel->hide();
    ui->newProfileButton->show();
    ui->deleteProfileButton->setVisible(profiles.size() != 1);
    ui->addProfileButton->hide();
    ui->cancelChangesButton->show();
}

int CProfilesDialog::SelectedLine() const
{
    const QList<QListWidgetItem*> selected = ui->profileList->selectedItems();
    return selected.isEmpty() ? -1 : ui->profileList->row(selected.front());
}

void CProfilesDialog::SelectLine(int line)
{
    const QSignalBlocker quiet(ui->profileList);
    if (line < 0 || line >= ui->profileList->count()) {
        ui->profileList->clearSelection();
        return;
    }
    ui->profileList->setCurrentRow(line, QItemSelectionModel::ClearAndSelect);
}
