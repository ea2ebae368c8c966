#include "panes/mylistview.h"

#include "app/paneframe.h"
#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "inet/ftpconnection.h"
#include "panes/dirlistmodel.h"
#include "panes/listcolumns.h"
#include "panes/listformat.h"
#include "panes/localfolder.h"
#include "panes/mytreeview.h"
#include "panes/nameeditdelegate.h"

#include <QCollator>
#include <QHeaderView>
#include <QLocale>

#include <algorithm>
#include <vector>

namespace {

void SetStatus(int pane, const QString& text)
{
    if (CPaneFrame* frame = theApp().PaneFrame())
        frame->SetStatusText(pane, text);
}

bool KeyLess(const QString& a, const QString& b)
{
    return a < b;
}

bool KeyLess(const QCollatorSortKey& a, const QCollatorSortKey& b)
{
    return a.compare(b) < 0;
}

// The indices of `entries` but "." and "..", in the order of their keys; equal keys keep
// the listing's order.
template <typename Key, typename MakeKey>
std::vector<int> SortedOrder(const QList<DirEntry>& entries, MakeKey makeKey)
{
    struct Keyed
    {
        Key key;
        int entry;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<std::size_t>(entries.size()));
    for (int i = 0; i < entries.size(); ++i) {
        if (!entries[i].IsDots())
            keyed.push_back({makeKey(entries[i]), i});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (KeyLess(a.key, b.key))
            return true;
        return !KeyLess(b.key, a.key) && a.entry < b.entry;
    });
    std::vector<int> order;
    order.reserve(keyed.size());
    for (const Keyed& item : keyed)
        order.push_back(item.entry);
    return order;
}

} // namespace

CMyListView::CMyListView(CVantorDoc& doc, QWidget* parent)
    : QTreeView(parent)
    , document(doc)
    , rowsModel(new CDirListModel(doc.smallIcons, this))
{
    setModel(rowsModel);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // a row height measured once: large folders stay fast
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // F2 edits the name (and the Rename command); a press on a selected name starts a drag,
    // never the editor. The edit renames through the pane, which refuses drives and the
    // roots.
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setIconSize(QSize(16, 16));
    setFrameShape(QFrame::StyledPanel);
    header()->setSectionsMovable(false);
    columns = new CListColumns(*this);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    viewport()->setAcceptDrops(true);
    nameDelegate = new CNameEditDelegate(this);
    setItemDelegateForColumn(0, nameDelegate);
    // After the view has closed the editor: the rename the edit asks for.
    connect(nameDelegate, &QAbstractItemDelegate::closeEditor, this, [this] {
        if (const auto committed = nameDelegate->TakeCommitted();
            committed && committed->index.isValid())
            OnEndLabelEdit(committed->index.row(), committed->text);
    });
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { OpenFolder(index.row()); });
}

CMyListView::~CMyListView() = default;

void CMyListView::OnInitialUpdate(CMyTreeView* tree)
{
    rowTree = tree;
    side = document.listPaneCount++;
    setObjectName(side == 0 ? QStringLiteral("localList") : QStringLiteral("ftpList"));
    const CVantorApp::ListColumnWidths& widths = theApp().listColumns[side];
    columns->SetWidths(widths.size, widths.modified);
    connect(columns, &CListColumns::WidthsChanged, this, [this] {
        theApp().listColumns[side] = {columns->SizeWidth(), columns->ModifiedWidth()};
    });
    forceLocalDelete = false;
    forceFtpDelete = false;
    firstFtpFill = true;
    if (side == 0 || theApp().ftpSideInUse)
        rowTree->SelectStartItem();
}

void CMyListView::RemoveAllItems()
{
    rowsModel->Clear();
}

QTreeWidgetItem* CMyListView::TreeItem() const
{
    return rowTree && treeItem.isValid() ? rowTree->itemFromIndex(treeItem) : nullptr;
}

void CMyListView::FillList(const QString& folderPath)
{
    if (filling) {
        pendingFill = PendingFill{folderPath, theApp().resortOnly};
        return;
    }
    filling = true;
    FillOnce(folderPath, theApp().resortOnly);
    while (pendingFill) {
        const PendingFill next = *pendingFill;
        pendingFill.reset();
        // A re-sort of another folder than the one now shown has nothing to sort: it reads.
        FillOnce(next.path, next.resortOnly && next.path == path);
    }
    filling = false;
}

void CMyListView::FillOnce(const QString& folderPath, bool resortOnly)
{
    if (side == 0) {
        SetStatus(0, QStringLiteral("Reading Local Directory - Please Wait"));
        RefreshUi();
    }
    path = folderPath;
    rowsModel->Clear();
    if (!resortOnly) {
        entries.clear();
        ReadFolder();
    }
    RebuildRows();
    if (rowsModel->RowCount() > 0)
        selectionModel()->setCurrentIndex(rowsModel->index(0, 0),
                                          QItemSelectionModel::ClearAndSelect |
                                              QItemSelectionModel::Rows);
    ShowCount();
    SetStatus(0, QStringLiteral("Ready"));
    RefreshUi();
}

void CMyListView::ReadFolder()
{
    if (side == 0) {
        entries = ReadLocalEntries(path);
        return;
    }
    if (firstFtpFill) {
        // The tree's first read of the server's start folder is still in ftpEntries.
        firstFtpFill = false;
    } else {
        CCommOperation operation;
        // A folder that cannot be entered shows empty: never the listing of the folder the
        // server stayed in under this path.
        if (!operation.Dialog().EnterFtpFolder(path))
            return;
        operation.Dialog().ReadFtpDirectory();
    }
    entries = theApp().ftpEntries;
}

void CMyListView::RebuildRows()
{
    const SortKeyKind kind = CurrentSortKeyKind();
    const QCollator collator = PaneCollator();
    const int folderIcon = side == 0 ? kIconLocalFolder : kIconFtpFolder;
    const int fileIcon = side == 0 ? kIconLocalFile : kIconFtpFile;

    // Each key is made once; one sort orders them, and only the order outlives the keys.
    // Keys are case-folded first: not every collation back end honours case insensitivity
    // in its sort keys (the C locale's does not), and in the C locale the folded text is
    // itself the key, which spares a collation key object per entry.
    std::vector<int> order;
    if (QLocale().language() == QLocale::C)
        order = SortedOrder<QString>(entries, [&](const DirEntry& entry) {
            return BuildSortKey(entry, kind).toCaseFolded();
        });
    else
        order = SortedOrder<QCollatorSortKey>(entries, [&](const DirEntry& entry) {
            return collator.sortKey(BuildSortKey(entry, kind).toCaseFolded());
        });

    QList<DirListRow> rows;
    rows.reserve(static_cast<qsizetype>(order.size()));
    for (const int index : order) {
        const DirEntry& entry = entries[index];
        DirListRow row;
        row.entry = index;
        row.icon = entry.IsFolder() ? folderIcon : fileIcon;
        row.name = entry.name;
        row.size = entry.size;
        row.kind = entry.SpecialKind();
        row.hasSize = !entry.IsFolder() && !row.kind;
        row.writeTime = entry.writeTime;
        row.hasDate = true;
        rows.append(row);
    }
    rowsModel->SetRows(std::move(rows));
}

void CMyListView::ShowCount()
{
    const QString count = QString::number(static_cast<unsigned>(rowsModel->RowCount()));
    if (side == 0)
        SetStatus(1, QStringLiteral("Local: ") + count + QStringLiteral(" Items"));
    else
        SetStatus(2, QStringLiteral("FTP: ") + count + QStringLiteral(" Items"));
}

int CMyListView::ItemCount() const
{
    return rowsModel->RowCount();
}

QString CMyListView::ItemName(int row) const
{
    return row >= 0 && row < rowsModel->RowCount() ? rowsModel->Row(row).name : QString();
}

int CMyListView::ItemIcon(int row) const
{
    return row >= 0 && row < rowsModel->RowCount() ? rowsModel->Row(row).icon : -1;
}

QList<int> CMyListView::SelectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows(0))
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}
