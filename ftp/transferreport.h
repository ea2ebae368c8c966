#pragma once

#include "framework/messagebox.h"

#include <QString>
#include <QStringList>

#include <ctime>

class CInternetException;

// Where a folder transfer stands: the files and bytes of the files finished so far, of the
// total. A local source is counted whole before the first file; a server source grows its
// total with each folder listed, and says so until the last listing is in.
struct FolderProgress
{
    quint64 filesDone = 0;
    quint64 filesTotal = 0;
    quint64 bytesDone = 0;
    quint64 bytesTotal = 0;
    bool totalKnown = false; // false while folders below are still to be listed
    std::time_t started = 0;
};

// What a transfer engine (CFileTransfer) tells the one who watches it, and the answers it
// gets back: the lines of a status view, the progress of each block, the user's Cancel, and
// every box it has to show. The communication status window implements it; a test may
// implement it without any window. The engine never shows anything by itself.
class CTransferReport
{
public:
    virtual ~CTransferReport() = default;

    // The view's lines: the kind of copy, the step under way, the current file's two ends.
    virtual void SetTitleLine(const QString& text) = 0;
    virtual void SetStatusLine(const QString& text) = 0;
    virtual void SetFrom(const QString& text) = 0;
    virtual void SetTo(const QString& text) = 0;
    // The file routine that starts next moves bytes: the progress controls are wanted.
    virtual void ShowTransferControls() = 0;
    // A file routine starts (true) or ends, however it ends (false).
    virtual void ShowCopying(bool copying) = 0;

    // Once per whole block of 1000 bytes: the bytes of the current file moved so far, its
    // length as text (empty where unknown) and the seconds since it started.
    virtual void ShowTransferProgress(quint64 bytesDone, const QString& totalText,
                                      qint64 elapsedSeconds) = 0;
    // Right after it: block `blockIndex` (from 0) of a file of `totalBytes` (0 where
    // unknown) is done. False, after the cancel message, once the user has cancelled.
    virtual bool UpdateProgress(quint64 blockIndex, quint64 totalBytes) = 0;
    // A folder transfer's totals, at its start and after each file; the current file's
    // bytes come with ShowTransferProgress.
    virtual void ShowFolderProgress(const FolderProgress& progress) = 0;
    // The files running side by side on helper connections, a line each; none once they
    // have ended.
    virtual void ShowRunningFiles(const QStringList& lines) { Q_UNUSED(lines); }
    // The steps between the blocks: what changed may be shown, at the view's own pace.
    virtual void RefreshAtRhythm() = 0;
    // False, after the cancel message, once the user has cancelled; lets waiting input run.
    virtual bool PollCancel() = 0;
    // Whether the user has cancelled, without a message.
    virtual bool CancelRequested() const = 0;
    // Called again and again while the engine waits for a side connection's answer.
    virtual void WhileWaiting() = 0;

    // The fixed messages of a failed copy; with the failure, the box can say what most
    // likely happened.
    virtual void ReportCopyError(const CInternetException& error) = 0;
    virtual void ReportCopyError() = 0;
    // False, after its message, when `destination` starts with `source`; both end with
    // their separator.
    virtual bool CheckNotInsideSource(const QString& source, const QString& destination) = 0;
    // Any other box the engine has to show; returns the user's answer.
    virtual MsgAnswer ShowMessage(const QString& text, const QString& caption, MsgIcon icon,
                                  MsgButtons buttons = MsgButtons::Ok) = 0;
    // A folder transfer left out `path` (as shown to the user) for `reason`.
    virtual void Skip(const QString& path, const QString& reason) = 0;
};
