#pragma once

#include "app/direntry.h"
#include "panes/panedrop.h"
#include "panes/panedropsupport.h"

#include <QList>
#include <QPersistentModelIndex>
#include <QTreeView>

#include <memory>
#include <optional>

class CDirListModel;
class CListColumns;
class CNameEditDelegate;
class CSkippedItems;
class CMyTreeView;
class CVantorDoc;
class QMimeData;
class QTreeWidgetItem;

// A file list pane: the folders and files of one folder, local (side 0) or on the server
// (side 1), as a report list with "Name", "Size" and "Modified". The folder tree pane of the
// same row decides the folder and calls FillList. The pane owns its entries (the listing as
// read) and the model of its rows.
class CMyListView : public QTreeView
{
    Q_OBJECT

public:
    CMyListView(CVantorDoc& document, QWidget* parent = nullptr);
    ~CMyListView() override;

    // The first show: takes the side from the document's counter, sets up the columns and
    // asks the tree of the same row for its start item, which fills this list.
    void OnInitialUpdate(CMyTreeView* rowTree);

    // Fills the pane from `folderPath` (ending in "/"); reads the folder unless
    // theApp().resortOnly is set, then the rows are rebuilt from `entries`. A call that
    // arrives while a fill runs (from an event handled during its reads) does not interrupt
    // it: the newest such folder is filled once the running fill has ended.
    void FillList(const QString& folderPath);
    bool Filling() const { return filling; }
    void RemoveAllItems();

    int ItemCount() const;
    QString ItemName(int row) const;
    int ItemIcon(int row) const;
    // Rows of the selected items, top to bottom.
    QList<int> SelectedRows() const;
    CDirListModel* Model() const { return rowsModel; }
    CMyTreeView* RowTree() const { return rowTree; }
    // The item of treeItem, or null when it is gone (its tree was rebuilt).
    QTreeWidgetItem* TreeItem() const;
    PaneId Id() const { return side == 0 ? PaneId::LocalList : PaneId::FtpList; }

    // Starts a drag of the selection: records it in the document's drag state and returns
    // the data it carries (null when nothing is selected). startDrag runs it.
    std::unique_ptr<QMimeData> PrepareDrag();
    // The tree of this row reads the list's folder again, so that it shows what an operation
    // changed in it.
    void RefreshTreeFolder();

    // Commands of the context menu and the keys.
    // Makes the first free "NewFolder<n>" in the pane's folder, adds it last and starts
    // editing its name.
    void NewFolder();
    // The New Folder command: NewFolder with its status texts.
    void OnNewFolder();
    // Deletes the selected items of the folder the pane shows, after asking.
    void DeleteSelected();
    // Download or Upload: the selected items into the folder the other side's list shows,
    // after the question a drop asks.
    void OnCopyToOtherSide();
    // Opens the folder of row `row` the way the tree does (the tree selects it).
    void OpenFolder(int row);
    // Shows the folder above the pane's folder, as far up as the drive or the server's root.
    void OpenParentFolder();
    // The row highlighted as the drop target during a drag; -1 for none.
    int DropTarget() const;
    // Whether the folder the list shows is the drop target (a drag over its empty area).
    bool DropOnFolderShown() const;
    using QTreeView::edit; // edit(index) starts editing a name, as F2 does
    // Whether a name is being edited in place: as long as its editor is open.
    bool EditingLabel() const;

    // The file and folder operations, on this pane's side and under its delete-side
    // overrides (CFileOperations); their messages are owned by the pane. Paths are full
    // paths; a folder path given to DeleteFolder ends in "/".
    bool DeleteFile(const QString& filePath);
    bool DeleteFolder(const QString& folderPath);
    bool CreateFolder(const QString& folderPath);
    bool CopyLocalFile(const QString& source, const QString& destination);
    bool CopyLocalFolder(const QString& source, const QString& destination,
                         CSkippedItems* skipped = nullptr);
    // The Attributes command on the selected server files: the File Attributes dialog with
    // the first file's present value, then SITE CHMOD for each file until one does not take
    // the value; the outcome in a message box.
    void SetAttributes();
    // Copies the selected items of this pane into `destinationFolder` (ending in "/"), on
    // the server when `destinationIsFtp`, under a communication status window when the
    // server is involved. A folder of the same name there is replaced: the old one is
    // renamed aside, and deleted once the copy succeeded or put back when it failed. True
    // when every item was copied; a false has been shown.
    bool CopySelectedItemsToFolder(const QString& destinationFolder, bool destinationIsFtp);

    int side = 0;
    QString path;
    // The tree item whose folder is shown, held so that it cannot outlive the item.
    QPersistentModelIndex treeItem;
    QList<DirEntry> entries;
    bool firstFtpFill = false;
    int contextItem = -1;
    bool forceLocalDelete = false;
    bool forceFtpDelete = false;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    void FillOnce(const QString& folderPath, bool resortOnly);
    // The drop glue of this pane: folder rows take drops, which copy into them.
    CPaneDropSupport MakeDropSupport();

    void OnRename();
    void OnEndLabelEdit(int row, const QString& text);

    void ReadFolder();
    void RebuildRows();
    void ShowCount();

    CVantorDoc& document;
    CPaneDropSupport dropSupport = MakeDropSupport();
    CDirListModel* rowsModel = nullptr;
    CMyTreeView* rowTree = nullptr;
    bool filling = false;
    struct PendingFill
    {
        QString path;
        bool resortOnly;
    };
    std::optional<PendingFill> pendingFill;
    CNameEditDelegate* nameDelegate = nullptr;
    CListColumns* columns = nullptr;
};
