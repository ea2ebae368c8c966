#pragma once

#include "app/direntry.h"

#include <QTreeWidget>

class CMyListView;
class CVantorDoc;

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
    CMyListView* ListPane() const { return listPane; }

    int side = 0;
    CMyListView* listPane = nullptr;
    QTreeWidgetItem* rootItem = nullptr;
    bool readingFolder = false;
    bool suppressSelection = false;
    QTreeWidgetItem* dropTarget = nullptr;
    bool editingLabel = false;

private:
    QTreeWidgetItem* NewItem(const QString& text, int icon, int selectedIcon);
    void DeleteChildren(QTreeWidgetItem* item);
    void SortChildren(QTreeWidgetItem* item);
    void OnItemExpanded(QTreeWidgetItem* item);
    void OnItemCollapsed(QTreeWidgetItem* item);
    void OnSelectionChanged();

    CVantorDoc& document;
    bool inFolderRead = false;
};
