#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What walking a folder tree needs on both sides: the entries of a local folder, and the
// guard that keeps a copy from running round a link cycle or down without end.

enum class LocalEntryKind {
    Folder, // a folder, or with links followed a link that leads to one
    File,   // a regular file, or with links followed a link that leads to one
    Link,   // a symbolic link, when links are not followed
    Other   // a device, pipe or socket, or a link that leads nowhere
};

struct LocalChild
{
    QString name;
    LocalEntryKind kind = LocalEntryKind::Other;
    QString what; // for Other: what it is, as the user is told ("named pipe")
};

// The entries of the local folder `folder` but "." and "..", in the order the file system
// gives them. Nothing when the folder cannot be read, which an empty folder can.
std::optional<QList<LocalChild>> ReadLocalChildren(const QString& folder, bool followLinks);

// What a file of the stat mode `mode` is when it holds no content to copy: "named pipe",
// "socket" or "device"; empty for a regular file, a folder or a link.
QString SpecialKindOfMode(unsigned mode);
// The same for a local path, links followed; empty also when it cannot be reached.
QString SpecialFileKind(const QString& path);
// Opens the local file `path` for reading, never waiting on a pipe or a device: a
// descriptor of a regular file, else -1 with `kind` naming what it is when it exists but
// is no regular file.
int OpenRegularFile(const QString& path, QString& kind);
// Whether the local file system can hold a file called `name` in `folder`: by the length of
// the name and of the whole path.
bool LocalNameFits(const QString& folder, const QString& name);

// Device and inode of a local folder, links followed: two paths with the same identity are
// the same folder. Empty when the folder cannot be reached.
QString LocalFolderIdentity(const QString& path);

// The folders on the path from the top of a copy to the folder being copied now, each by
// its identities (LocalFolderIdentity; on a server the path it reports after entering the
// folder, and the folder's listing). A folder that shares an identity with one already on
// the path is a cycle through a link; more than kMaxDepth levels are refused as well, so
// that a cycle the identities cannot show still ends.
class CFolderWalkGuard
{
public:
    static constexpr int kMaxDepth = 64;

    enum class Step { Entered, Cycle, TooDeep };

    // Enters a folder below the current one; only Entered must be left again.
    Step Enter(const QStringList& identities);
    Step Enter(const QString& identity) { return Enter(QStringList{identity}); }
    void Leave();

    int Depth() const { return static_cast<int>(path.size()); }

    // The message for a refused step, naming the folder as the user knows it.
    static QString RefusalText(Step step, const QString& folder);
    static QString RefusalCaption();

private:
    QList<QStringList> path;
};
