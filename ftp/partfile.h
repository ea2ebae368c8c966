#pragma once

#include "ftp/partrecords.h"

#include <QFile>
#include <QString>

#include <optional>

class CTransferReport;

// The file a download is written to until it is complete: a new file beside the file it
// will replace (so that the final rename stays on one file system), made under a name that
// was free at that moment. A file of that name that is already there, however it came, is
// never opened, overwritten or renamed: the next free name is taken instead. What a failed
// download wrote stays in the part file; only Commit moves it.
//
// Given the server file's description (SetSource), the part file is recorded (CPartRecords)
// until it is put in place, and the part file an earlier download of the same server file
// left there, recorded so, may be taken up again. Only such a recorded file is ever opened.
// While a download has its part file open it holds a lock on it, so that no other download
// takes it up at the same time.
class CPartFile
{
public:
    // `target` is the file the download replaces (a link already resolved).
    explicit CPartFile(const QString& target);

    // The server file the download copies, where its exact size and time are known.
    void SetSource(const PartSource& source);

    // Opens the part file an earlier download of the same server file left, positioned at its
    // end, and gives its size; nothing when there is none to go on with. A download under
    // way elsewhere keeps its part file to itself.
    std::optional<quint64> OpenEarlier();
    // Closes the earlier part file unchanged, for the download to start afresh with Create.
    void LeaveEarlier();
    // Creates the part file; false when no free name could be made or created.
    bool Create();
    QFile& File() { return file; }
    QString Path() const { return path; }
    // Closes the part file and puts it in the target's place in one step, keeping the
    // permissions the user gave the target.
    bool Commit();
    // The part file is not to be taken up again (its bytes proved wrong); it stays as it is.
    void Forget();

    // The name tried at `attempt` (0 first): the target's name plus ".part", then with a
    // number before ".part"; a name with no room for them is shortened and marked with a
    // hash of the whole name, so that it stays within the file system's limit.
    static QString NameFor(const QString& target, int attempt);
    // How many names Create tries before it gives up.
    static constexpr int kAttempts = 100;
    // Files smaller than this start again from nothing: not worth a record, nor a question.
    static constexpr quint64 kResumableSize = 1024 * 1024;

private:
    QString target;
    std::optional<PartSource> source;
    CPartRecords records;
    QFile file;
    QString path; // the file's own name: a QFile opened on a descriptor has none
};

// Offers the user to go on with the part file an earlier download of this file left: the
// part file is open at its end when the user agreed, and its size is returned; 0 otherwise.
quint64 OfferEarlierPart(CPartFile& part, CTransferReport& report);
