#include "framework/messagepump.h"

#include <QCoreApplication>

namespace {

int depth = 0;

void Pump(QEventLoop::ProcessEventsFlags flags)
{
    if (!QCoreApplication::instance())
        return;
    ++depth;
    QCoreApplication::processEvents(flags);
    --depth;
}

} // namespace

void PumpPendingMessages()
{
    Pump(QEventLoop::AllEvents);
}

void PaintPendingMessages()
{
    Pump(QEventLoop::ExcludeUserInputEvents);
}

int PumpDepth()
{
    return depth;
}
