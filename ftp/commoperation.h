#pragma once

#include "ftp/commstatusdialog.h"

#include <QPointer>

// The frame of one action under a communication object: makes the CCommStatusDialog (its
// window shown while theApp().showCommWindow is set, or always with `alwaysShowWindow`),
// disables the main window and sets theApp().busy; the destructor enables the main window,
// clears busy and destroys the object, whatever happened in between.
class CCommOperation
{
public:
    explicit CCommOperation(bool alwaysShowWindow = false);
    ~CCommOperation();
    CCommOperation(const CCommOperation&) = delete;
    CCommOperation& operator=(const CCommOperation&) = delete;

    CCommStatusDialog& Dialog() { return *dialog; }

private:
    QPointer<CCommStatusDialog> dialog;
};
