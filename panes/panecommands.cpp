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

QAction* AddMenuCommand(QMenu* menu, QWidget* pane, const QString& text, const char* name, int id,
                        const std::function<void()>& command)
{
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setData(id);
    action->setEnabled(bool(command));
    if (command)
        QObject::connect(action, &QAction::triggered, pane, command);
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

QMenu* NewPaneMenu(QWidget* pane, PaneSide side, const PaneMenuCommands& commands)
{
    auto* menu = new QMenu(pane);
    menu->setObjectName(QStringLiteral("paneMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    AddMenuCommand(menu, pane, QStringLiteral("&New Folder"), "actionNewFolder",
                   ResourceId::kNewFolder, commands.newFolder);
    AddMenuCommand(menu, pane, QStringLiteral("&Rename"), "actionRename", ResourceId::kRename,
                   commands.rename);
    AddMenuCommand(menu, pane, QStringLiteral("&Delete"), "actionDelete", ResourceId::kDelete,
                   commands.remove);
    if (commands.attributes)
        AddMenuCommand(menu, pane, QStringLiteral("&Attributes"), "actionAttributes",
                       ResourceId::kAttributes, commands.attributes);
    const bool local = side == PaneSide::Local;
    QAction* copy = AddMenuCommand(
        menu, pane, local ? QStringLiteral("&Upload") : QStringLiteral("Do&wnload"),
        local ? "actionUpload" : "actionDownload", ResourceId::kCopyToOtherSide, commands.copy);
    copy->setShortcut(CPaneDropSupport::CopyOutKey(side));
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
