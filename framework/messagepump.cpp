#include "framework/messagepump.h"

#include <QCoreApplication>

void PumpPendingMessages()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}
