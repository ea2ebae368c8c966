#pragma once

#include <QString>

#include <vector>

// The server file a download's part file holds the beginning of, as the server described it
// when the download began. Only a file whose exact size and time are both known can be
// recognised later: without them a changed file could not be told from the same one.
struct PartSource
{
    QString server; // the profile's address
    QString user;
    QString path; // absolute on the server
    quint64 size = 0;
    qint64 time = 0;
    bool operator==(const PartSource&) const = default;
};

// The part files that downloads made and have not put in place yet, so that a later download
// of the same server file to the same place can go on with one instead of starting again,
// while a file the user happens to have named "x.part" is never taken for one. One small file
// in the user's state folder, shared by the threads and the running copies of the program:
// each change is made under a lock and the file written whole in one step.
class CPartRecords
{
public:
    struct Record
    {
        QString part; // the part file's absolute path
        QString target;
        PartSource source;
        quint64 device = 0; // the part file's identity when it was made
        quint64 inode = 0;
    };

    // `file` empty: DefaultPath().
    explicit CPartRecords(QString file = QString());
    // "vantor/partfiles" in $XDG_STATE_HOME, by default ~/.local/state.
    static QString DefaultPath();

    // The recorded part files of `source` meant for `target` that are still what was
    // recorded: a regular file, not a link, of the same identity, smaller than the server
    // file. The records of `target` whose part file is gone or changed are dropped.
    std::vector<Record> Find(const QString& target, const PartSource& source) const;
    // False when the record cannot be written; the download goes on without it.
    bool Add(const Record& record) const;
    void Remove(const QString& part) const;

    // How many records the file keeps at most; the oldest go first.
    static constexpr int kMaxRecords = 500;

private:
    QString path;
};
