#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class CAboutDialog;
}

// "About Ardent Vantor": the program's icon, its name and version, and OK.
class CAboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDialog(QWidget* parent = nullptr);
    ~CAboutDialog() override;

private:
    std::unique_ptr<Ui::CAboutDialog> ui;
};
