#include "panes/panecommands.h"

#include "app/paneframe.h"
#include "app/resourceids.h"
#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "inet/ftpconnection.h"
#include "inet/internetexception.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "panes/panedropsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>

namespace {

const QString kRenameErrorText = FileMessages::RenameText();
const QString kRenameErrorCaption = FileMessages::RenameCaption();

QAction* AddMenuCommand(QMenu* menu, const QString& text, const char* name, int id)
{
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setData(id);
    return action;
}

// A name that stays in its folder: not empty, not "." or "..", no "/" or NUL. Anything
// else would move the item elsewhere or name its folder.
bool IsPlainName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

bool RenameLocal(const QString& from, const QString& to)
{
    // rename() would silently replace an existing file: refuse a taken name first.
    const QFileInfo target(to);
    if (target.exists() || target.isSymLink())
        return false;
    return QDir().rename(from, to);
}

bool RenameOnServer(const QString& from, const QString& to)
{
    CFtpConnection* connection = theApp().ftpConnection.get();
    if (!connection)
        return false;
    try {
        // The connection refuses a target that exists (many servers let RNTO replace a file
        // without a word), but not the source itself answering for a name that differs from
        // it in case only, as on a server that ignores case.
        return connection->Rename(from, to);
    } catch (const CInternetException&) {
        return false;
    }
}

} // namespace

QMenu* NewPaneMenu(QWidget* pane, PaneSide side, bool itemCommands, bool canCopy)
{
    auto* menu = new QMenu(pane);
    menu->setObjectName(QStringLiteral("paneMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    AddMenuCommand(menu, QStringLiteral("&New Folder"), "actionNewFolder", ResourceId::kNewFolder);
    AddMenuCommand(menu, QStringLiteral("&Rename"), "actionRename", ResourceId::kRename)
        ->setEnabled(itemCommands);
    AddMenuCommand(menu, QStringLiteral("&Delete"), "actionDelete", ResourceId::kDelete)
        ->setEnabled(itemCommands);
    const bool isList = qobject_cast<CMyListView*>(pane) != nullptr;
    if (isList && side == PaneSide::Ftp)
        AddMenuCommand(menu, QStringLiteral("&Attributes"), "actionAttributes",
                       ResourceId::kAttributes);
    QAction* copy = side == PaneSide::Local
                        ? AddMenuCommand(menu, QStringLiteral("&Upload"), "actionUpload",
                                         ResourceId::kCopyToOtherSide)
                        : AddMenuCommand(menu, QStringLiteral("Do&wnload"), "actionDownload",
                                         ResourceId::kCopyToOtherSide);
    copy->setShortcut(CPaneDropSupport::CopyOutKey(side));
    copy->setEnabled(canCopy);
    return menu;
}

QString NewFolderName(const QStringList& names)
{
    for (int n = 1;; ++n) {
        const QString candidate = QStringLiteral("NewFolder") + QString::number(n);
        if (!names.contains(candidate, Qt::CaseSensitive))
            return candidate;
    }
}

bool RenameOnSide(PaneSide side, const QString& from, const QString& folder, const QString& newName)
{
    const QString to = folder + newName;
    const bool renamed =
        IsPlainName(newName) &&
        (side == PaneSide::Local ? RenameLocal(from, to) : RenameOnServer(from, to));
    if (!renamed)
        ShowMessageBox(theApp().MainWindow(), kRenameErrorText, kRenameErrorCaption, MsgIcon::Stop);
    return renamed;
}

void ShowStatusStep(const QString& text)
{
    if (CPaneFrame* frame = theApp().PaneFrame())
        frame->SetStatusText(0, text);
    RefreshUi();
}

void FocusNextPane(PaneId from, bool forward)
{
    CPaneFrame* frame = theApp().PaneFrame();
    if (!frame)
        return;
    const PaneId order[4] = {PaneId::LocalTree, PaneId::LocalList, PaneId::FtpTree,
                             PaneId::FtpList};
    int at = 0;
    while (order[at] != from)
        ++at;
    const PaneId next = order[(at + (forward ? 1 : 3)) % 4];
    const int row = static_cast<int>(SideOfPane(next));
    QWidget* pane = IsTreePane(next) ? static_cast<QWidget*>(frame->TreePane(row))
                                     : static_cast<QWidget*>(frame->ListPane(row));
    pane->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}
