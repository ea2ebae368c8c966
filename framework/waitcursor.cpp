#include "framework/waitcursor.h"

#include <QCursor>
#include <QGuiApplication>

CWaitCursor::CWaitCursor()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

CWaitCursor::~CWaitCursor()
{
    QGuiApplication::restoreOverrideCursor();
}

void CWaitCursor::Restore()
{
    CWaitCursor pulse;
}

CNormalCursor::CNormalCursor()
{
    const QCursor* current = QGuiApplication::overrideCursor();
    if (current && current->shape() != Qt::ArrowCursor) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        pushed = true;
    }
}

CNormalCursor::~CNormalCursor()
{
    if (pushed)
        QGuiApplication::restoreOverrideCursor();
}
