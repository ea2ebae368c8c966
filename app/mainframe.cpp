#include "app/mainframe.h"

#include "app/resourceids.h"
#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "framework/helpwindow.h"
#include "framework/messagepump.h"
#include "framework/modaldialog.h"
#include "framework/waitcursor.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "profiles/profilesdialog.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>

namespace {

const QString kReady = QStringLiteral("Ready");

QAction* AddCommand(QWidget* menu, const QString& text, const char* objectName, int commandId,
                    const QString& prompt)
{
    auto* action = new QAction(text, menu);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setData(commandId);
    action->setStatusTip(prompt);
    menu->addAction(action);
    return action;
}

} // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent)
    , document(new CVantorDoc(this))
{
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/vantor.svg")));
    setWindowTitle(QStringLiteral("Ardent Vantor - ") + theApp().activeProfile.name);
    pendingCloseTimer.setSingleShot(true);
    pendingCloseTimer.setInterval(kPendingCloseRetryMs);
    connect(&pendingCloseTimer, &QTimer::timeout, this, &CMainFrame::OnPendingClose);
    CreateMenus();
    CreateStatusPanes();
    CreatePanes();
}

CMainFrame::~CMainFrame()
{
    CVantorApp& app = theApp();
    // A window that never got a size keeps the sizes it was opened with.
    const int width = ColumnWidth() > 0 ? ColumnWidth() : app.splitterWidth;
    const int height = RowHeight() > 0 ? RowHeight() : app.splitterHeight;
    app.SaveSettings(width, height);
    // The panes refer to the document: they go first.
    delete takeCentralWidget();
    rows = topRow = bottomRow = nullptr;
    localTree = ftpTree = nullptr;
    localList = ftpList = nullptr;
    delete document;
    document = nullptr;
}

void CMainFrame::CreateMenus()
{
    QMenuBar* bar = menuBar();
    QAction* profiles =
        AddCommand(bar, QStringLiteral("&Profiles"), "actionProfiles", ResourceId::kProfiles,
                   QStringLiteral("Edit the connection profiles"));
    connect(profiles, &QAction::triggered, this, &CMainFrame::OnProfiles);

    QMenu* settings = bar->addMenu(QStringLiteral("&Settings"));
    settings->setObjectName(QStringLiteral("menuSettings"));
    QAction* heading = settings->addAction(QStringLiteral("   Sort By:"));
    heading->setEnabled(false);
    const struct
    {
        const char* text;
        const char* name;
        int id;
        const char* prompt;
        SortKeyKind kind;
    } sorts[] = {
        {"&Name", "actionSortByName", ResourceId::kSortByName, "Sort By Name", SortKeyKind::Name},
        {"&Extension", "actionSortByExtension", ResourceId::kSortByExtension, "Sort By Extension",
         SortKeyKind::Extension},
        {"&Size", "actionSortBySize", ResourceId::kSortBySize, "Sort By Size", SortKeyKind::Size},
        {"&Date", "actionSortByDate", ResourceId::kSortByDate, "Sort By Date", SortKeyKind::Date},
    };
    for (int i = 0; i < 4; ++i) {
        const auto& sort = sorts[i];
        sortActions[i] = AddCommand(settings, QString::fromLatin1(sort.text), sort.name, sort.id,
                                    QString::fromLatin1(sort.prompt));
        sortActions[i]->setCheckable(true);
        const SortKeyKind kind = sort.kind;
        connect(sortActions[i], &QAction::triggered, this, [this, kind] { OnSortBy(kind); });
    }
    settings->addSeparator();
    useDrivesAction =
        AddCommand(settings, QStringLiteral("&Use Drive A (and B)"), "actionUseDrivesAB",
                   ResourceId::kUseDrivesAB, QStringLiteral("Read files from Drive A and Drive B"));
    useDrivesAction->setCheckable(true);
    connect(useDrivesAction, &QAction::triggered, this, [] { theApp().OnUseDrivesAB(); });
    keepTimesAction = AddCommand(settings, QStringLiteral("&Keep File Times"),
                                 "actionKeepFileTimes", ResourceId::kKeepFileTimes,
                                 QStringLiteral("Give copied files the modification time of "
                                                "their source"));
    keepTimesAction->setCheckable(true);
    connect(keepTimesAction, &QAction::triggered, this,
            [](bool checked) { theApp().keepFileTimes = checked; });
    QMenu* parallel = settings->addMenu(QStringLiteral("&Transfers at Once"));
    parallel->setObjectName(QStringLiteral("menuTransfersAtOnce"));
    parallel->menuAction()->setStatusTip(
        QStringLiteral("How many files a copy moves at the same time, each over a connection of "
                       "its own"));
    auto* parallelGroup = new QActionGroup(parallel);
    for (int count = 1; count <= 10; ++count) {
        const QByteArray name = "actionTransfersAtOnce" + QByteArray::number(count);
        QAction* action = AddCommand(
            parallel, count == 10 ? QStringLiteral("1&0") : QStringLiteral("&%1").arg(count),
            name.constData(), ResourceId::kTransfersAtOnce + count - 1,
            count == 1 ? QStringLiteral("Copy one file after another over one connection")
                       : QStringLiteral("Copy up to %1 files at the same time").arg(count));
        action->setCheckable(true);
        parallelGroup->addAction(action);
        parallelActions[count - 1] = action;
        connect(action, &QAction::triggered, this, [count] { theApp().parallelTransfers = count; });
    }
    QAction* refresh = AddCommand(settings, QStringLiteral("&Refresh                 "),
                                  "actionRefresh", ResourceId::kRefresh,
                                  QStringLiteral("Re-display all panes to reflect current data"));
    refresh->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(refresh, &QAction::triggered, this, &CMainFrame::OnRefresh);
    connect(settings, &QMenu::aboutToShow, this, &CMainFrame::UpdateSettingsMenu);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    QAction* contents = AddCommand(help, QStringLiteral("&Contents"), "actionHelpContents",
                                   ResourceId::kHelpContents, QStringLiteral("List Help Topics"));
    contents->setShortcut(QKeySequence(Qt::Key_F1));
    connect(contents, &QAction::triggered, this, &CMainFrame::OnHelpContents);
    QAction* search = AddCommand(help, QStringLiteral("&Search"), "actionHelpSearch",
                                 ResourceId::kHelpSearch, QStringLiteral("Search Help Topics"));
    connect(search, &QAction::triggered, this, &CMainFrame::OnHelpSearch);
    help->addSeparator();
    QAction* about = AddCommand(help, QStringLiteral("&About Ardent Vantor..."), "actionAbout",
                                ResourceId::kAbout, QString());
    connect(about, &QAction::triggered, this, [] { theApp().OnAppAbout(); });
    QAction* exitAction = AddCommand(help, QStringLiteral("E&xit"), "actionExit", ResourceId::kExit,
                                     QStringLiteral("Quit the application"));
    connect(exitAction, &QAction::triggered, this, &QWidget::close);
    // The shortcuts work while the menus are closed.
    addActions({refresh, contents});
}

void CMainFrame::CreateStatusPanes()
{
    QStatusBar* bar = statusBar();
    const char* const sizing[3] = {nullptr, "Local: 10000 Items ", "FTP: 15000 Items "};
    for (int pane = 0; pane < 3; ++pane) {
        auto* label = new QLabel(bar);
        label->setObjectName(QStringLiteral("statusPane%1").arg(pane));
        if (sizing[pane]) {
            const int width =
                label->fontMetrics().horizontalAdvance(QString::fromLatin1(sizing[pane]));
            label->setFixedWidth(width + 2 * label->margin() + 4);
            bar->addPermanentWidget(label);
        } else {
            bar->addWidget(label, 1);
        }
        statusPanes[pane] = label;
    }
    securityPane = new QLabel(bar);
    securityPane->setObjectName(QStringLiteral("securityPane"));
    securityPane->setMinimumWidth(
        securityPane->fontMetrics().horizontalAdvance(QStringLiteral("Not encrypted ")) +
        2 * securityPane->margin() + 4);
    securityPane->setToolTip(
        QStringLiteral("Whether the connection to the FTP server is encrypted"));
    bar->addPermanentWidget(securityPane);
    SetStatusText(0, kReady);
}

void CMainFrame::CreatePanes()
{
    CVantorApp& app = theApp();
    rows = new QSplitter(Qt::Vertical, this);
    rows->setObjectName(QStringLiteral("paneRows"));
    topRow = new QSplitter(Qt::Horizontal, rows);
    topRow->setObjectName(QStringLiteral("topRow"));
    bottomRow = new QSplitter(Qt::Horizontal, rows);
    bottomRow->setObjectName(QStringLiteral("bottomRow"));
    for (QSplitter* splitter : {rows, topRow, bottomRow}) {
        splitter->setChildrenCollapsible(false);
        splitter->setOpaqueResize(true);
    }

    // Created in the order (0,0), (0,1), (1,0), (1,1).
    localTree = new CMyTreeView(*document, topRow);
    localList = new CMyListView(*document, topRow);
    ftpTree = new CMyTreeView(*document, bottomRow);
    ftpList = new CMyListView(*document, bottomRow);

    // Column 0 and row 0 keep their size when the window grows; the rest takes it.
    for (QSplitter* row : {topRow, bottomRow}) {
        row->setStretchFactor(0, 0);
        row->setStretchFactor(1, 1);
    }
    rows->setStretchFactor(0, 0);
    rows->setStretchFactor(1, 1);
    SetSplitterSizes(app.splitterWidth, app.splitterHeight);
    connect(topRow, &QSplitter::splitterMoved, this,
            [this] { KeepColumnsAligned(topRow, bottomRow); });
    connect(bottomRow, &QSplitter::splitterMoved, this,
            [this] { KeepColumnsAligned(bottomRow, topRow); });

    setCentralWidget(rows);
    localTree->setFocus();
}

void CMainFrame::SetSplitterSizes(int columnWidth, int rowHeight)
{
    const int restWidth = qMax(10, width() - columnWidth);
    const int restHeight = qMax(10, height() - rowHeight);
    aligningColumns = true;
    topRow->setSizes({columnWidth, restWidth});
    bottomRow->setSizes({columnWidth, restWidth});
    rows->setSizes({rowHeight, restHeight});
    aligningColumns = false;
}

void CMainFrame::KeepColumnsAligned(QSplitter* moved, QSplitter* other)
{
    if (aligningColumns)
        return;
    aligningColumns = true;
    other->setSizes(moved->sizes());
    aligningColumns = false;
}

int CMainFrame::ColumnWidth() const
{
    const QList<int> sizes = topRow->sizes();
    return sizes.isEmpty() ? 0 : sizes.front();
}

int CMainFrame::RowHeight() const
{
    const QList<int> sizes = rows->sizes();
    return sizes.isEmpty() ? 0 : sizes.front();
}

void CMainFrame::InitialUpdate()
{
    localTree->OnInitialUpdate(localList);
    localList->OnInitialUpdate(localTree);
    ftpTree->OnInitialUpdate(ftpList);
    ftpList->OnInitialUpdate(ftpTree);
    localTree->setFocus();
}

void CMainFrame::SetStatusText(int pane, const QString& text)
{
    if (pane >= 0 && pane < 3)
        statusPanes[pane]->setText(text);
}

void CMainFrame::SetSecurityText(const QString& text)
{
    securityPane->setText(text);
}

QString CMainFrame::SecurityText() const
{
    return securityPane->text();
}

QString CMainFrame::StatusText(int pane) const
{
    return pane >= 0 && pane < 3 ? statusPanes[pane]->text() : QString();
}

bool CMainFrame::event(QEvent* event)
{
    // Menu prompts go to status pane 0, not over the whole bar.
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        SetStatusText(0, tip.isEmpty() ? kReady : tip);
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // While an action runs, or while code that let waiting events run is still below this
    // event, the window and its panes must outlive the request: it is remembered, the
    // action is asked to stop, and the window closes once all that has returned.
    if (theApp().busy || PumpDepth() > 0) {
        event->ignore();
        CCommOperation::CancelRunning();
        closePending = true;
        pendingCloseTimer.start();
        return;
    }
    closePending = false;
    QMainWindow::closeEvent(event);
}

void CMainFrame::OnPendingClose()
{
    if (!closePending)
        return;
    // A box or dialog that waits for an answer is part of what must end first.
    if (theApp().busy || PumpDepth() > 0 || QApplication::activeModalWidget()) {
        pendingCloseTimer.start();
        return;
    }
    close();
}

void CMainFrame::UpdateSettingsMenu()
{
    const CVantorApp& app = theApp();
    const bool flags[4] = {app.sortByName, app.sortByExtension, app.sortBySize, app.sortByDate};
    for (int i = 0; i < 4; ++i)
        sortActions[i]->setChecked(flags[i]);
    useDrivesAction->setChecked(app.useDrivesAB);
    keepTimesAction->setChecked(app.keepFileTimes);
    for (int count = 1; count <= 10; ++count)
        parallelActions[count - 1]->setChecked(app.parallelTransfers == count);
}

void CMainFrame::OnProfiles()
{
    if (theApp().busy)
        return;
    CWaitCursor wait;
    {
        CProfilesDialog dialog(this);
        RunModalDialog(dialog);
    }
    const CVantorApp& app = theApp();
    if (app.ftpPanesReset && app.ftpSideInUse)
        ReconnectFtpSide();
}

void CMainFrame::OnRefresh()
{
    if (theApp().busy)
        return;
    CWaitCursor wait;
    localTree->BuildForSide();
    localTree->SelectStartItem();
    theApp().ftpPanesReset = true;
    ReconnectFtpSide();
}

int CMainFrame::ReconnectFtpSide()
{
    CVantorApp& app = theApp();
    setWindowTitle(QStringLiteral("Ardent Vantor - ") + app.activeProfile.name);
    CCommStatusDialog::Disconnect();
    if (ftpTree->BuildForSide()) {
        app.selectionHandled = false;
        ftpTree->SelectStartItem();
        if (!app.selectionHandled)
            ftpTree->ShowSelectedFolder();
        app.ftpUnavailable = false;
    } else {
        app.ftpUnavailable = true;
    }
    return 1;
}

void CMainFrame::OnSortBy(SortKeyKind kind)
{
    CVantorApp& app = theApp();
    if (app.busy)
        return;
    app.sortByName = kind == SortKeyKind::Name;
    app.sortByExtension = kind == SortKeyKind::Extension;
    app.sortBySize = kind == SortKeyKind::Size;
    app.sortByDate = kind == SortKeyKind::Date;
    app.sortType = QString::number(static_cast<int>(kind) + 1);
    ResortLists();
}

void CMainFrame::ResortLists()
{
    CVantorApp& app = theApp();
    app.resortOnly = true;
    localList->FillList(localList->path);
    ftpList->FillList(ftpList->path);
    app.resortOnly = false;
}

void CMainFrame::OnHelpContents()
{
    ShowHelpContents(theApp().helpFilePath, this);
}

void CMainFrame::OnHelpSearch()
{
    ShowHelpSearch(theApp().helpFilePath, this);
}
