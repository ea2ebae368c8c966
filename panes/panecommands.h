#pragma once

#include "panes/panedrop.h"

#include <QString>
#include <QStringList>

#include <functional>

class QMenu;
class QWidget;

// What the commands of the four panes share: the context menu, names, renaming on either
// side, the status texts and the focus order.

// What the commands of a pane's context menu run; a command without a function is greyed
// (Attributes is left out).
struct PaneMenuCommands
{
    std::function<void()> newFolder;
    std::function<void()> rename;
    std::function<void()> remove;
    std::function<void()> attributes; // the FTP list only
    std::function<void()> copy;       // Upload on the local side, Download on the FTP side
};

// The context menu of a pane: New Folder, Rename, Delete, Attributes, and Upload (local
// side) or Download (FTP side) with its key. Its actions are named actionNewFolder,
// actionRename, actionDelete, actionAttributes and actionUpload or actionDownload, and carry
// the command identifiers as data. The menu deletes itself when closed.
QMenu* NewPaneMenu(QWidget* pane, PaneSide side, const PaneMenuCommands& commands);

// "NewFolder1", "NewFolder2", ...: the first that is none of `names`, case counting.
QString NewFolderName(const QStringList& names);

// Renames `from` (a full path) to `newName` in `folder` (ending in "/") on the local disk
// or on the server. Never replaces: a name that is taken fails, and so
// does one that is no plain name (a "/" in it would move the item elsewhere). False after
// the rename error has been shown.
bool RenameOnSide(PaneSide side, const QString& from, const QString& folder,
                  const QString& newName);

// Status pane 0 of the main window, painted at once.
void ShowStatusStep(const QString& text);

// Tab and Shift+Tab: local tree, local list, FTP tree, FTP list and round again.
void FocusNextPane(PaneId from, bool forward);
