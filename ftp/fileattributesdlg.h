#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class CFileAttributesDlg;
}

// "File Attributes": asks for the permission value of the selected server file(s). Shows
// `fileLabel` and starts with `value` in the edit box; OK takes the box's text into
// `value`, but only when it is an attribute value (one to four octal digits): anything else
// is refused with a message and the dialog stays open. Cancel leaves `value` as it was.
// Run through RunModalDialog.
class CFileAttributesDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kTemplateId = 195;
    static constexpr int kFileLabelId = 1088;
    static constexpr int kValueId = 1089;

    explicit CFileAttributesDlg(QWidget* parent = nullptr);
    ~CFileAttributesDlg() override;

    // Put into the controls when the dialog is shown.
    QString value;
    QString fileLabel;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::CFileAttributesDlg> ui;
};
