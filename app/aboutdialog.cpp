#include "app/aboutdialog.h"

#include "ui_aboutdialog.h"

#include <QIcon>

CAboutDialog::CAboutDialog(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::CAboutDialog>())
{
    ui->setupUi(this);
    ui->iconLabel->setPixmap(QIcon(QStringLiteral(":/icons/vantor.svg")).pixmap(32, 32));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

CAboutDialog::~CAboutDialog() = default;
