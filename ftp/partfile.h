#pragma once

#include <QFile>
#include <QString>

// The file a download is written to until it is complete: a new file beside the file it
// will replace (so that the final rename stays on one file system), made under a name that
// was free at that moment. A file of that name that is already there, however it came, is
// never opened, overwritten or renamed: the next free name is taken instead. What a failed
// download wrote stays in the part file; only Commit moves it.
class CPartFile
{
public:
    // `target` is the file the download replaces (a link already resolved).
    explicit CPartFile(const QString& target);

    // Creates the part file; false when no free name could be made or created.
    bool Create();
    QFile& File() { return file; }
    QString Path() const { return file.fileName(); }
    // Closes the part file and puts it in the target's place in one step, keeping the
    // permissions the user gave the target.
    bool Commit();

    // The name tried at `attempt` (0 first): the target's name plus ".part", then with a
    // number before ".part"; a name with no room for them is shortened and marked with a
    // hash of the whole name, so that it stays within the file system's limit.
    static QString NameFor(const QString& target, int attempt);
    // How many names Create tries before it gives up.
    static constexpr int kAttempts = 100;

private:
    QString target;
    QFile file;
};
