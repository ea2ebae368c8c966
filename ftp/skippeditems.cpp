#include "ftp/skippeditems.h"

#include "framework/messagebox.h"
#include "ftp/filemessages.h"

QString CSkippedItems::Text() const
{
    QString text = items.size() == 1
                       ? QStringLiteral("1 item was not copied:\n")
                       : QStringLiteral("%1 items were not copied:\n").arg(items.size());
    for (qsizetype at = 0; at < items.size() && at < kListedItems; ++at)
        text += QLatin1Char('\n') + items[at].path + QStringLiteral(" (") + items[at].reason +
                QLatin1Char(')');
    if (items.size() > kListedItems)
        text += QStringLiteral("\n... and %1 more").arg(items.size() - kListedItems);
    return text;
}

void CSkippedItems::Report(QWidget* owner)
{
    if (items.isEmpty())
        return;
    ShowMessageBox(owner, Text(), FileMessages::NotCopiedCaption(), MsgIcon::Warning);
    items.clear();
}
