#include "panes/mytreeview.h"

#include "app/paneframe.h"
#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "framework/waitcursor.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "panes/listformat.h"
#include "panes/localfolder.h"
#include "panes/mylistview.h"
#include "panes/nameeditdelegate.h"

#include <QCollator>
#include <QHeaderView>
#include <QIcon>
#include <QScopedValueRollback>

#include <algorithm>

namespace {

const QString kPlaceholder = QStringLiteral("Empty Folder");

void SetStatus(const QString& text)
{
    if (CPaneFrame* frame = theApp().PaneFrame())
        frame->SetStatusText(0, text);
}

} // namespace

CMyTreeView::CMyTreeView(CVantorDoc& doc, QWidget* parent)
    : QTreeWidget(parent)
    , document(doc)
{
    setColumnCount(1);
    header()->hide();
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // F2 edits the name (and the Rename command); a press on a selected name starts a drag,
    // never the editor. The edit renames through the pane, which refuses drives and the
    // roots.
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setIconSize(QSize(16, 16));
    setFrameShape(QFrame::StyledPanel);
    setUniformRowHeights(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    viewport()->setAcceptDrops(true);
    nameDelegate = new CNameEditDelegate(this);
    setItemDelegate(nameDelegate);
    // After the view has closed the editor: the rename the edit asks for.
    connect(nameDelegate, &QAbstractItemDelegate::closeEditor, this, [this] {
        const auto committed = nameDelegate->TakeCommitted();
        if (QTreeWidgetItem* item = committed ? itemFromIndex(committed->index) : nullptr)
            OnEndLabelEdit(item, committed->text);
    });
    connect(this, &QTreeWidget::itemExpanded, this, &CMyTreeView::OnItemExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &CMyTreeView::OnItemCollapsed);
    connect(this, &QTreeWidget::currentItemChanged, this, &CMyTreeView::OnSelectionChanged);
}

CMyTreeView::~CMyTreeView()
{
    // Deleting the items must not reach a list pane that may already be gone.
    suppressSelection = true;
}

void CMyTreeView::OnInitialUpdate(CMyListView* rowList)
{
    side = document.treePaneCount++;
    setObjectName(side == 0 ? QStringLiteral("localTree") : QStringLiteral("ftpTree"));
    listPane = rowList;
    readingFolder = false;
    if (!BuildForSide())
        theApp().ftpUnavailable = true;
}

int CMyTreeView::IconOf(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kIconIndexRole).toInt() : -1;
}

bool CMyTreeView::IsPlaceholder(const QTreeWidgetItem* item)
{
    return item && item->data(0, kPlaceholderRole).toBool();
}

QTreeWidgetItem* CMyTreeView::NewPlaceholder()
{
    QTreeWidgetItem* item = side == 0
                                ? NewItem(kPlaceholder, kIconLocalFolder, kIconLocalFolderOpen)
                                : NewItem(kPlaceholder, kIconFtpFolder, kIconFtpFolderOpen);
    item->setData(0, kPlaceholderRole, true);
    item->setFlags(item->flags() & ~(Qt::ItemIsEditable | Qt::ItemIsDragEnabled));
    return item;
}

QTreeWidgetItem* CMyTreeView::NewItem(const QString& text, int icon, int selectedIcon)
{
    auto* item = new QTreeWidgetItem(QStringList{text});
    QIcon picture(document.smallIcons.value(icon));
    picture.addPixmap(document.smallIcons.value(selectedIcon), QIcon::Selected);
    item->setIcon(0, picture);
    item->setData(0, kIconIndexRole, icon);
    // Drives and the roots keep their names and stay where they are.
    const bool fixed = icon == kIconDrive || icon == kIconLocalComputer || icon == kIconFtpRoot;
    item->setFlags(fixed ? Qt::ItemIsEnabled | Qt::ItemIsSelectable
                         : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable |
                               Qt::ItemIsDragEnabled);
    return item;
}

bool CMyTreeView::BuildForSide()
{
    if (side == 0) {
        BuildLocalTree();
        return true;
    }
    if (!theApp().ftpSideInUse)
        return true;
    return BuildFtpTree();
}

void CMyTreeView::BuildLocalTree()
{
    CWaitCursor wait;
    const QStringList drives = LocalDrives(theApp().useDrivesAB);
    readingFolder = true;
    clear();
    readingFolder = false;
    rootItem = NewItem(QStringLiteral("Local Computer"), kIconLocalComputer, kIconLocalComputer);
    addTopLevelItem(rootItem);
    for (const QString& drive : drives) {
        QTreeWidgetItem* item = NewItem(drive, kIconDrive, kIconDrive);
        rootItem->addChild(item);
        item->addChild(NewPlaceholder());
    }
}

bool CMyTreeView::BuildFtpTree()
{
    CVantorApp& app = theApp();
    if (app.ftpPanesReset) {
        app.ftpPanesReset = false;
        suppressSelection = true;
        clear();
        rootItem = nullptr;
        suppressSelection = false;
        if (listPane)
            listPane->RemoveAllItems();
    }
    rootItem = NewItem(QStringLiteral("No Connection"), kIconFtpRoot, kIconFtpRoot);
    addTopLevelItem(rootItem);
    return ReadFtpFolder(QString(), rootItem);
}

void CMyTreeView::SelectStartItem()
{
    if (!rootItem)
        return;
    rootItem->setExpanded(true);
    if (side == 0) {
        if (rootItem->childCount() > 0)
            setCurrentItem(rootItem->child(0));
    } else {
        setCurrentItem(rootItem);
    }
}

QString CMyTreeView::LocalPathOf(QTreeWidgetItem* item) const
{
    QString folderPath;
    for (QTreeWidgetItem* at = item; at && IconOf(at) != kIconLocalComputer; at = at->parent()) {
        const QString text = at->text(0);
        if (IconOf(at) == kIconDrive) {
            folderPath.prepend(text.endsWith(QLatin1Char('/')) ? text : text + QLatin1Char('/'));
            break;
        }
        folderPath.prepend(text + QLatin1Char('/'));
    }
    return folderPath;
}

QString CMyTreeView::FtpPathOf(QTreeWidgetItem* item) const
{
    // With the root "/" paths begin "//", which servers take as "/".
    QString folderPath;
    for (QTreeWidgetItem* at = item; at; at = at->parent())
        folderPath.prepend(at->text(0) + QLatin1Char('/'));
    return folderPath;
}

void CMyTreeView::DeleteChildren(QTreeWidgetItem* item)
{
    const QList<QTreeWidgetItem*> children = item->takeChildren();
    qDeleteAll(children);
}

void CMyTreeView::SortChildren(QTreeWidgetItem* item)
{
    QList<QTreeWidgetItem*> children = item->takeChildren();
    const QCollator collator = PaneCollator();
    std::stable_sort(
        children.begin(), children.end(), [&](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
            return collator.compare(a->text(0).toCaseFolded(), b->text(0).toCaseFolded()) < 0;
        });
    item->addChildren(children);
}

void CMyTreeView::AddFolderItem(QTreeWidgetItem* parent, const DirEntry& entry)
{
    if (!entry.IsFolder() || entry.IsDots())
        return;
    const int icon = side == 0 ? kIconLocalFolder : kIconFtpFolder;
    const int selectedIcon = side == 0 ? kIconLocalFolderOpen : kIconFtpFolderOpen;
    QTreeWidgetItem* item = NewItem(entry.name, icon, selectedIcon);
    parent->addChild(item);
    item->addChild(NewPlaceholder());
}

void CMyTreeView::ReadLocalFolder(const QString& folderPath, QTreeWidgetItem* item)
{
    if (inFolderRead)
        return;
    const QScopedValueRollback reading(inFolderRead, true);
    SetStatus(QStringLiteral("Reading Local Directory - Please Wait"));
    RefreshUi();
    readingFolder = true;
    DeleteChildren(item);
    for (const DirEntry& entry : ReadLocalEntries(folderPath))
        AddFolderItem(item, entry);
    SortChildren(item);
    readingFolder = false;
    SetStatus(QStringLiteral("Ready"));
    RefreshUi();
}

bool CMyTreeView::ReadFtpFolder(const QString& folderPath, QTreeWidgetItem* item)
{
    // One read at a time: a second one, started by an event handled while the first waits
    // for the server, would mix the two listings.
    if (inFolderRead)
        return false;
    const QScopedValueRollback reading(inFolderRead, true);
    CVantorApp& app = theApp();
    readingFolder = true;
    const QPersistentModelIndex held = indexFromItem(item);
    bool connected = true;
    bool entered = true;
    {
        CCommOperation operation;
        if (app.internetSession) {
            // An empty path lists the folder the connection is in.
            entered = folderPath.isEmpty() || operation.Dialog().EnterFtpFolder(folderPath);
        } else if (operation.Dialog().Connect()) {
            if (rootItem)
                rootItem->setText(0, app.ftpCurrentDir);
        } else {
            connected = false;
        }
        if (connected && entered && app.ftpConnection)
            operation.Dialog().ReadFtpDirectory();
    }
    if (!connected) {
        // readingFolder stays set: selections fill nothing until a read succeeds.
        SetStatus(QStringLiteral("Ready"));
        RefreshUi();
        return false;
    }
    // The item may have gone with a rebuild while the server was asked.
    item = held.isValid() ? itemFromIndex(held) : nullptr;
    if (item) {
        DeleteChildren(item);
        // A folder that could not be entered gets no children: the listing in ftpEntries
        // would be the one of the folder the server stayed in.
        if (entered) {
            for (const DirEntry& entry : app.ftpEntries)
                AddFolderItem(item, entry);
            SortChildren(item);
        }
    }
    readingFolder = false;
    SetStatus(QStringLiteral("Ready"));
    RefreshUi();
    return entered && item;
}

void CMyTreeView::OnItemExpanded(QTreeWidgetItem* item)
{
    CWaitCursor wait;
    const int icon = IconOf(item);
    if (icon == kIconLocalComputer || icon == kIconFtpRoot)
        return;
    if (side == 0)
        ReadLocalFolder(LocalPathOf(item), item);
    else if (theApp().ftpSideInUse)
        ReadFtpFolder(FtpPathOf(item), item);
}

void CMyTreeView::OnItemCollapsed(QTreeWidgetItem* item)
{
    CWaitCursor wait;
    setCurrentItem(item);
}

void CMyTreeView::OnSelectionChanged()
{
    CWaitCursor wait;
    if (suppressSelection)
        return;
    theApp().selectionHandled = true;
    QTreeWidgetItem* item = currentItem();
    if (!item || !listPane)
        return;
    if (IconOf(item) == kIconLocalComputer) {
        // The list keeps its path and its count in the status bar.
        listPane->RemoveAllItems();
        return;
    }
    if (!readingFolder)
        ShowSelectedFolder();
}

void CMyTreeView::ShowSelectedFolder()
{
    QTreeWidgetItem* item = currentItem();
    if (!item || !listPane)
        return;
    listPane->treeItem = indexFromItem(item);
    QString folderPath;
    if (side == 1) {
        if (!theApp().ftpSideInUse)
            return;
        folderPath = FtpPathOf(item);
    } else {
        folderPath = LocalPathOf(item);
    }
    // FillList takes the path over itself; set here, a fill that is still running would
    // show its folder under this path.
    listPane->FillList(folderPath);
}
