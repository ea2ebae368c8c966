#pragma once

#include "profiles/profilerecord.h"

#include <QDialog>
#include <QList>

#include <memory>

namespace Ui {
class CProfilesDialog;
}

// The profiles dialog: where the user creates, edits and deletes connection profiles and
// picks the active and the default one. Run modally by the main window's Profiles command
// (through RunModalDialog); it loads Profiles.dat when it is made and saves the whole list
// when it closes, then sets theApp().ftpPanesReset so that the main window reconnects.
//
// While open it works on its own copy of the list. The edits of the shown profile go into
// that copy whenever the user leaves the profile (another line, Add Profile, closing), after
// a check of the required fields. Close, Enter, Esc and the close box all take the same
// close path, which refuses to close while the shown profile is incomplete or the file
// cannot be written.
//
// The security choice is a view of the address's scheme (bare host, ftpes://, ftps://,
// ftp://): picking one rewrites the scheme in the address field, typing a scheme moves the
// choice. Only the address is stored, so the file keeps its layout.
class CProfilesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CProfilesDialog(QWidget* parent = nullptr);
    ~CProfilesDialog() override;

    // The dialog's copy of the list, in list order.
    const QList<ProfileRecord>& Profiles() const { return profiles; }
    // The profile whose fields are shown (in new-profile mode: the one shown before).
    int ShownIndex() const { return shownIndex; }
    bool InNewProfileMode() const { return newProfileMode; }

    // Enter and Esc (and the close box, through reject) take the close path.
    void accept() override;
    void reject() override;

private:
    void ShowSelectedProfile();
    bool StoreCurrentProfile();

    void OnSelectionChanged();
    void OnNewProfile();
    void OnAddProfile();
    void OnCancelChanges();
    void OnDeleteProfile();
    void OnAnonymous(bool checked);
    void OnSecurityChosen(int index);
    void OnClose();
    void OnHelp();

    ProfileRecord ReadFields() const;
    void WriteFields(const ProfileRecord& record);
    void ApplyAnonymousState(bool anonymous);
    void SetUpSecurityChoice();
    // Sets the security choice and the warning from the scheme of `address`.
    void ShowSecurity(const QString& address);
    void ShowNormalLayout();
    int SelectedLine() const;
    // Selects `line` (or nothing for -1) without the selection handler running.
    void SelectLine(int line);
    bool SaveList();

    std::unique_ptr<Ui::CProfilesDialog> ui;
    QList<ProfileRecord> profiles;
    int shownIndex = 0;
    bool newProfileMode = false;
    // The next ShowSelectedProfile shows the stored values without storing the fields first.
    bool skipValidation = false;
    // The application's active profile when the dialog opened, for a close without saving.
    int openedActiveIndex = 0;
    ProfileRecord openedActiveProfile;
};
