// Copying the selected items of a list pane into a folder, in any of the four directions.
#include "panes/mylistview.h"

#include "app/vantordoc.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "panes/panedrop.h"
#include "panes/replacingcopy.h"

#include <optional>

bool CMyListView::CopySelectedItemsToFolder(const QString& destinationFolder, bool destinationIsFtp)
{
    const bool fromFtp = side == 1;
    // The items are taken now: the list may be refilled while messages run.
    struct Item
    {
        QString name;
        bool isFolder;
    };
    QList<Item> items;
    for (const int row : SelectedRows()) {
        const int icon = ItemIcon(row);
        items.append({ItemName(row), icon == kIconLocalFolder || icon == kIconFtpFolder});
    }

    std::optional<CCommOperation> operation;
    if (fromFtp || destinationIsFtp) {
        operation.emplace(true);
        operation->Dialog().SetTitleLine(DropTitle(side, destinationIsFtp ? 1 : 0));
    }
    CReplacingCopy copy(*this, operation ? &operation->Dialog() : nullptr, fromFtp,
                        destinationIsFtp);
    const QString sourceFolder = path;
    for (const Item& item : items) {
        const QString source = sourceFolder + item.name;
        const QString destination = destinationFolder + item.name;
        const bool ok = item.isFolder ? copy.CopyFolder(source, destination)
                                      : copy.CopyFile(source, destination);
        if (!ok)
            return false;
    }
    return true;
}
