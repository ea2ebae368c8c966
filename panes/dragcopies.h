#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

class QSocketNotifier;
class QTimer;

// The local copies of what was dragged out of the FTP panes into another program. Each drop
// downloads into a folder of its own, <temp>/vantor-drag-<user id>/<process id>-<n>, made
// for this user alone. A copy is removed
// - once the receiving program has taken it: every file and folder of it was opened for
//   reading and closed again (watched through inotify), and nothing of it was opened for
//   TakenGrace() milliseconds since (a program may look into a file before it copies it);
// - when a newer copy makes the copies kept exceed KeepLimit() bytes, oldest first (the
//   newest copy is always kept);
// - when the program ends, or, after a crash, at the next start (RemoveLeftovers).
// One object per process (Instance); it owns the copies and its inotify descriptor.
class CDragCopies : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kDefaultKeepLimit = qint64(1) << 30;

    static CDragCopies& Instance();
    ~CDragCopies() override;

    // The folder that holds every copy of this user; empty when it cannot be made safely
    // (a name there that is no folder of this user's).
    static QString Root();
    // Removes the copies of processes that no longer run.
    static void RemoveLeftovers();

    // A new, empty copy folder; empty when none can be made.
    QString NewCopy();
    // Keeps a copy whose download is complete until it is taken (or too much is kept).
    void Keep(const QString& copy);
    // Removes a copy now (its download failed or was cancelled).
    void Discard(const QString& copy);

    QStringList Kept() const;
    qint64 KeepLimit() const { return keepLimit; }
    void SetKeepLimit(qint64 bytes) { keepLimit = bytes; }
    int TakenGrace() const { return takenGraceMs; }
    void SetTakenGrace(int milliseconds) { takenGraceMs = milliseconds; }

private:
    CDragCopies();

    struct Copy
    {
        QString path;
        qint64 bytes = 0;
        QHash<int, QString> folders; // inotify watch -> folder path
        QSet<QString> unread;        // files and folders not yet read, full paths
        QTimer* grace = nullptr;     // runs once everything was read
    };

    void OnEvents();
    void Remove(size_t at);
    void RemoveTaken(const QString& path);
    void KeepWithinLimit();

    int inotifyFd = -1;
    QSocketNotifier* notifier = nullptr;
    std::vector<Copy> copies;
    int serial = 0;
    qint64 keepLimit = kDefaultKeepLimit;
    int takenGraceMs = 30000;
};
