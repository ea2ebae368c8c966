#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class CFolderWalkGuard;
class CSkippedItems;

// The single file and folder operations of a file list pane: delete file, delete folder,
// create folder, copy local file, and copy local folder to local folder. Each returns true
// or false, and a false has already been shown in a message box owned by `owner` (the
// pane). The FTP side works through theApp().ftpConnection; deleting a server folder opens
// one more connection per level, for that level's listing.
//
// Which side they work on: create folder the pane's side; delete file and delete folder the
// FTP side when the pane shows the server and no local override is in force, or when the
// FTP override is; the local side otherwise. The overrides are the pane's, set only while a
// copy replaces an existing destination folder on the other side (CScopedDeleteSide).
//
// Links are never followed into a deletion: a link inside a folder being deleted, or the
// folder path itself when it is a link, goes as the link alone, on either side.
class CFileOperations
{
public:
    CFileOperations(QWidget* owner, int side, bool forceLocalDelete = false,
                    bool forceFtpDelete = false);

    // `path` is a full path (folder and name).
    bool DeleteFile(const QString& path);
    bool CreateFolder(const QString& path);
    // Replaces an existing destination file; never the source itself (also not through
    // another path or a link). The copy goes to a temporary name beside the destination and
    // takes its place only when complete.
    bool CopyLocalFile(const QString& source, const QString& destination);
    // `folderPath` ends in "/".
    bool DeleteFolder(const QString& folderPath);
    // Copies the local folder `source` with its content to `destination`, which must not
    // exist yet; either may end in "/". Follows links to folders, refusing a cycle. What has
    // no content to copy (pipes, sockets, devices, links that lead nowhere) is noted in
    // `skipped`; without one, it is shown in a box at the end.
    bool CopyLocalFolder(const QString& source, const QString& destination,
                         CSkippedItems* skipped = nullptr);

    // Whether delete file and delete folder work on the server.
    bool DeletesOnFtp() const;

private:
    bool DeleteLocalFolder(const QString& folderPath);
    bool DeleteFtpFolder(const QString& folderPath);
    bool CopyLocalLevel(const QString& source, const QString& destination, CFolderWalkGuard& guard,
                        CSkippedItems& skipped);
    void ShowError(const QString& text, const QString& caption) const;

    QPointer<QWidget> owner;
    int side;
    bool forceLocalDelete;
    bool forceFtpDelete;
};

// Whether the local folder `destination` is the folder `source` or lies inside it, by their
// texts or, through links, by where both really are. Either may end in "/".
bool LocalFolderInside(const QString& source, const QString& destination);

// Sets one of a pane's delete-side overrides for its lifetime.
class CScopedDeleteSide
{
public:
    explicit CScopedDeleteSide(bool& overrideFlag)
        : flag(overrideFlag)
    {
        flag = true;
    }
    ~CScopedDeleteSide() { flag = false; }
    CScopedDeleteSide(const CScopedDeleteSide&) = delete;
    CScopedDeleteSide& operator=(const CScopedDeleteSide&) = delete;

private:
    bool& flag;
};
