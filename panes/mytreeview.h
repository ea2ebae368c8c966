#pragma once

#include "app/direntry.h"
#include "panes/panedrop.h"
#include "panes/panedropsupport.h"

#include <QPersistentModelIndex>
#include <QTreeWidget>

#include <memory>
#include <optional>

class CMyListView;
class CNameEditDelegate;
class CVantorDoc;
class QMimeData;

// A folder tree pane: the folders of one side as a tree. The local tree (side 0) has the
// root "Local Computer" with one item per drive; the FTP tree (side 1) one root item for
// the server's start folder. Folders are read when they are expanded; until then each
// carries one placeholder child "Empty Folder". Selecting an item makes the list pane of
// the same row show that folder. Items are owned by the widget.
class CMyTreeView : public QTreeWidget
{
    Q_OBJECT

public:
    // Role of column 0 holding an item's icon index: the only mark of its kind.
    static constexpr int kIconIndexRole = Qt::UserRole + 1;
    // Role of column 0 set on the "Empty Folder" placeholders, which name no folder.
    static constexpr int kPlaceholderRole = Qt::UserRole + 2;

    CMyTreeView(CVantorDoc& document, QWidget* parent = nullptr);
    ~CMyTreeView() override;

    // The first show: takes the side and the list pane of its row, then builds.
    void OnInitialUpdate(CMyListView* rowList);

    // The build of the side: the local tree, or (while ftpSideInUse) the FTP tree, which
    // connects. Returns success; false also sets theApp().ftpUnavailable at first show.
    bool BuildForSide();
    void BuildLocalTree();
    bool BuildFtpTree();
    void SelectStartItem();
    void ShowSelectedFolder();

    QString LocalPathOf(QTreeWidgetItem* item) const;
    QString FtpPathOf(QTreeWidgetItem* item) const;
    void ReadLocalFolder(const QString& folderPath, QTreeWidgetItem* item);
    bool ReadFtpFolder(const QString& folderPath, QTreeWidgetItem* item);
    void AddFolderItem(QTreeWidgetItem* parent, const DirEntry& entry);

    static int IconOf(const QTreeWidgetItem* item);
    static bool IsPlaceholder(const QTreeWidgetItem* item);
    CMyListView* ListPane() const { return listPane; }
    PaneId Id() const { return side == 0 ? PaneId::LocalTree : PaneId::FtpTree; }
    // The path of `item` on this pane's side, ending with "/".
    QString PathOf(QTreeWidgetItem* item) const;

    // Starts a drag of `item`'s folder: records it in the document's drag state, selects it
    // and returns the data the drag carries. Null for a drive and the two roots, which
    // cannot be dragged. startDrag runs it.
    std::unique_ptr<QMimeData> PrepareDrag(QTreeWidgetItem* item);

    // Download or Upload: the selected folder into the folder the other side's list shows,
    // after the question a drop asks.
    void OnCopyToOtherSide();
    // Deletes the folder the list of this row shows (the selected one), after asking; then
    // shows its parent.
    void DeleteTreeFolder();
    // The item highlighted as the drop target during a drag; null for none.
    QTreeWidgetItem* DropTarget() const;
    using QTreeWidget::edit; // edit(index) starts editing a name, as F2 does
    // Whether a folder name is being edited in place: as long as its editor is open.
    bool EditingLabel() const;

    int side = 0;
    CMyListView* listPane = nullptr;
    QTreeWidgetItem* rootItem = nullptr;
    bool readingFolder = false;
    bool suppressSelection = false;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    // The drop glue of this pane: every folder item (drives and the FTP root too) takes
    // drops, which copy into it.
    CPaneDropSupport MakeDropSupport();
    void OnRename();
    void OnEndLabelEdit(QTreeWidgetItem* item, const QString& text);
    // Whether `item` names a folder that can be renamed, deleted or dragged.
    static bool IsFolderItem(const QTreeWidgetItem* item);

    QTreeWidgetItem* NewItem(const QString& text, int icon, int selectedIcon);
    QTreeWidgetItem* NewPlaceholder();
    void DeleteChildren(QTreeWidgetItem* item);
    void SortChildren(QTreeWidgetItem* item);
    void OnItemExpanded(QTreeWidgetItem* item);
    void OnItemCollapsed(QTreeWidgetItem* item);
    void OnSelectionChanged();

    CVantorDoc& document;
    CPaneDropSupport dropSupport = MakeDropSupport();
    bool inFolderRead = false;
    CNameEditDelegate* nameDelegate = nullptr;
};
