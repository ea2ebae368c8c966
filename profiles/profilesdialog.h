#pragma once

#include <QDialog>

// The profiles dialog: where the user creates, edits and deletes connection profiles and
// picks the active and the default one. Run modally by the main window's Profiles command
// (through RunModalDialog); it loads Profiles.dat when it opens and saves the whole list
// when it closes, then sets theApp().ftpPanesReset.
class CProfilesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CProfilesDialog(QWidget* parent = nullptr);
    ~CProfilesDialog() override;
};
