#pragma once

#include "ftp/filetransfer.h"
#include "ftp/serverchecks.h"
#include "ftp/transferreport.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

// The files of one action copied over several connections at once. The engine that walks
// the folders (on the window's thread) hands each file to the pool; each helper connection
// runs on a thread of its own with an engine of its own, logged in with the same profile
// and the run's TLS decisions. What the helpers have to say comes back to the window's
// thread: their progress as one line per running file, their boxes one at a time (only the
// helper that asked waits meanwhile), the Cancel of the user to all of them at once.
//
// Files handed over wait in a short queue for the next free helper, so that the walk goes on
// listing folders while the helpers copy. After the first failed file no further file
// starts (the queue is dropped), and the files still running end as they would. Two files with the
// same destination never run at the same time (names are compared without regard to case, as some
// servers and disks do).
//
// A helper that cannot log in (a server that allows fewer connections) leaves its file to
// the others; when none can, the walking engine copies the files itself.
class CTransferPool
{
public:
    // `report` is the walking engine's, used on the window's thread only; `runHere` copies
    // a file over the walking engine's own connection.
    using RunHere = std::function<bool(const FileJob&, FileJobOutcome&)>;
    CTransferPool(CTransferReport& report, int connections, RunHere runHere);
    // Stops what still runs, without a message, and waits for the helpers to end.
    ~CTransferPool();
    CTransferPool(const CTransferPool&) = delete;
    CTransferPool& operator=(const CTransferPool&) = delete;

    // The server and the settings the helpers log in and copy with; the link's connection
    // is not used by them.
    void SetLink(const TransferLink& link, bool keepTimes, std::optional<CServerChecks> checks);

    // Hands `job` to the helpers, waiting while their queue is full. False once a file has
    // failed or the user has cancelled (the failure or the cancel has been shown): `job` is
    // not copied then. Called on the window's thread.
    bool Submit(FileJob job);
    // Waits for every file handed over. True when all were copied; after a failure or a
    // cancel, false once the files still running have ended.
    bool Finish();
    // Told on the window's thread for each file copied, in the order they end.
    std::function<void(const FileJob&, const FileJobOutcome&)> onCopied;

    // Whether helpers are still running a file (tests, the window's display).
    int RunningFiles() const;
    // Helper threads alive in the whole program (tests wait for them to go).
    static int LiveHelpers();

private:
    class CHelperReport;
    struct Helper;
    struct Prompt
    {
        std::function<void()> show;
        bool taken = false;
        bool answered = false;
    };
    struct Finished
    {
        FileJob job;
        FileJobOutcome outcome;
        bool copied = false;
        qint64 elapsedSeconds = 0;
    };

    void StartHelpers();
    void HelperMain(Helper& helper);
    // Shows a helper's box on the window's thread and waits for it; nothing when the pool
    // is stopping (its answer is then the one that does nothing). A box that `endsTheFile`
    // (a failure) fails the copy, and is not shown when another failure was shown first.
    void Ask(const std::function<void()>& show, bool endsTheFile);
    // One turn of the window's thread while it waits: boxes, ended files, the running files'
    // lines, painting and the user's Cancel. False once the pool is failed or cancelled.
    bool Pump(std::unique_lock<std::mutex>& lock);
    void Stop();
    bool DestinationBusy(const QString& destination) const;
    QStringList RunningLines() const;

    CTransferReport& report;
    RunHere runHere;
    const int connectionCount;

    TransferLink link;
    bool passive = false; // the mode that works for the link's connection
    bool keepTimes = true;
    std::optional<CServerChecks> serverChecks;

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::unique_ptr<Helper>> helpers;
    std::deque<FileJob> waiting; // handed over, not yet taken by a helper
    std::deque<Prompt*> prompts;
    std::vector<Finished> finished;
    int loggedOut = 0; // helpers that could not log in
    bool failed = false;
    bool shuttingDown = false;
    bool finishing = false; // Finish waits: the helpers settle their checks
    std::atomic<bool> stopping{false};
    QStringList shownLines;
    QString shownFrom;
    bool copying = false; // the window's thread only
    std::chrono::steady_clock::time_point lastDisplay;

    static std::atomic<int> liveHelpers;
};
