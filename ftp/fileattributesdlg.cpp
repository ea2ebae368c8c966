#include "ftp/fileattributesdlg.h"

#include "framework/messagebox.h"
#include "ftp/ftpattributes.h"
#include "ui_fileattributesdlg.h"

namespace {

const QString kNotAValueText =
    QStringLiteral("The File Attributes must be given as one to four octal digits (0 to 7), "
                   "for example 644.");

} // namespace

CFileAttributesDlg::CFileAttributesDlg(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::CFileAttributesDlg>())
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

CFileAttributesDlg::~CFileAttributesDlg() = default;

void CFileAttributesDlg::showEvent(QShowEvent* event)
{
    ui->fileLabel->setText(fileLabel);
    ui->valueEdit->setText(value);
    ui->valueEdit->selectAll();
    ui->valueEdit->setFocus();
    QDialog::showEvent(event);
}

void CFileAttributesDlg::accept()
{
    const QString typed = ui->valueEdit->text().trimmed();
    // Checked here, before anything is sent: the server would take a word or a sign for a
    // file name, and a mode of five digits is not a permission.
    if (!IsAttributeValue(typed)) {
        ShowMessageBox(this, kNotAValueText, windowTitle(), MsgIcon::Stop);
        ui->valueEdit->setFocus();
        ui->valueEdit->selectAll();
        return;
    }
    value = typed;
    QDialog::accept();
}
