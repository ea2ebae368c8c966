#pragma once

#include "app/paneframe.h"
#include "panes/listformat.h"

#include <QMainWindow>
#include <QTimer>

class CMyListView;
class CMyTreeView;
class CVantorDoc;
class QLabel;
class QSplitter;

// The program's only top-level window: the menu bar, the status bar with its three panes
// and the 2 x 2 grid of panes (local tree and list above, FTP tree and list below). It owns
// the document and the panes, carries the commands that act on the whole program, and
// reconnects the FTP side when the active profile changes. The panes and the status windows
// reach it only as a CPaneFrame.
class CMainFrame : public QMainWindow, public CPaneFrame
{
    Q_OBJECT

public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override; // saves the splitter sizes and the sort choice

    // The panes' first show, in the order local tree, local list, FTP tree, FTP list: the
    // trees build (the FTP tree connects) and the lists fill.
    void InitialUpdate();

    CVantorDoc* Document() const { return document; }
    // CPaneFrame: the status bar and the panes.
    void SetStatusText(int pane, const QString& text) override;
    QString StatusText(int pane) const;
    void SetSecurityText(const QString& text) override; // the pane at the right
    QString SecurityText() const;
    CMyTreeView* TreePane(int row) const override { return row == 0 ? localTree : ftpTree; }
    CMyListView* ListPane(int row) const override { return row == 0 ? localList : ftpList; }
    // The width of column 0 and the height of row 0 of the splitter.
    int ColumnWidth() const;
    int RowHeight() const;
    void SetSplitterSizes(int columnWidth, int rowHeight);

    // Commands.
    void OnProfiles();
    void OnRefresh();
    int ReconnectFtpSide();
    void OnSortBy(SortKeyKind kind);
    void ResortLists();
    void OnHelpContents();
    void OnHelpSearch();

    // Whether a close was asked for while an action ran; the window closes once it ended.
    bool ClosePending() const { return closePending; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenus();
    void CreateStatusPanes();
    void CreatePanes();
    void UpdateSettingsMenu();
    void KeepColumnsAligned(QSplitter* moved, QSplitter* other);
    void OnPendingClose();

    CVantorDoc* document = nullptr;
    QSplitter* rows = nullptr;
    QSplitter* topRow = nullptr;
    QSplitter* bottomRow = nullptr;
    CMyTreeView* localTree = nullptr;
    CMyListView* localList = nullptr;
    CMyTreeView* ftpTree = nullptr;
    CMyListView* ftpList = nullptr;
    QLabel* statusPanes[3] = {};
    QLabel* securityPane = nullptr;
    QAction* sortActions[4] = {};
    QAction* useDrivesAction = nullptr;
    QAction* keepTimesAction = nullptr;
    QAction* parallelActions[10] = {};
    bool aligningColumns = false;
    bool closePending = false;
    // Tries a remembered close again until nothing holds it up any more.
    QTimer pendingCloseTimer;
    static constexpr int kPendingCloseRetryMs = 20;
};
