#include "ftp/transferpool.h"

#include "ftp/filemessages.h"
#include "ftp/transferfigures.h"
#include "inet/ftpconnection.h"
#include "inet/internetexception.h"
#include "inet/internetsession.h"

#include <chrono>
#include <system_error>
#include <utility>

std::atomic<int> CTransferPool::liveHelpers{0};

namespace {

// How often the window's thread looks at the helpers while it waits for them.
constexpr std::chrono::milliseconds kPumpInterval{20};
// How many files may wait for a helper: enough that the walk lists the next folder while the
// helpers still copy the files of the last one.
constexpr std::size_t kQueueLength = 100;

QString FileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

// One helper connection: its thread, the file it runs and what its engine told of it.
struct CTransferPool::Helper
{
    std::thread thread;
    std::unique_ptr<CHelperReport> report;
    std::optional<FileJob> job; // under the pool's mutex, as the texts
    QString from;
    QString to;
    QString status;
    // Written once per block by the helper, read by the window's thread.
    std::atomic<quint64> bytesDone{0};
    std::atomic<quint64> totalBytes{0};
    std::atomic<quint64> blockIndex{0};
    std::atomic<qint64> elapsedSeconds{0};
    bool gone = false; // could not log in, or ended
    // Files copied whose digest checks its engine has not settled yet (CFileTransfer).
    bool unsettled = false;
};

// The report of a helper's engine, on the helper's thread: progress is kept for the window's
// thread to show, boxes are shown there one at a time, the Cancel is the pool's.
class CTransferPool::CHelperReport final : public CTransferReport
{
public:
    CHelperReport(CTransferPool& owner, Helper& self)
        : pool(owner)
        , helper(self)
    {}

    void SetTitleLine(const QString&) override {}
    void SetStatusLine(const QString& text) override
    {
        const std::lock_guard lock(pool.mutex);
        helper.status = text;
    }
    void SetFrom(const QString& text) override
    {
        const std::lock_guard lock(pool.mutex);
        helper.from = text;
    }
    void SetTo(const QString& text) override
    {
        const std::lock_guard lock(pool.mutex);
        helper.to = text;
    }
    void ShowTransferControls() override {}
    void ShowCopying(bool) override {}
    void ShowTransferProgress(quint64 bytesDone, const QString&, qint64 elapsedSeconds) override
    {
        helper.bytesDone.store(bytesDone, std::memory_order_relaxed);
        helper.elapsedSeconds.store(elapsedSeconds, std::memory_order_relaxed);
    }
    bool UpdateProgress(quint64 blockIndex, quint64 totalBytes) override
    {
        helper.blockIndex.store(blockIndex, std::memory_order_relaxed);
        helper.totalBytes.store(totalBytes, std::memory_order_relaxed);
        return !pool.stopping;
    }
    void ShowFolderProgress(const FolderProgress&) override {}
    void RefreshAtRhythm() override {}
    bool PollCancel() override { return !pool.stopping; }
    bool CancelRequested() const override { return pool.stopping; }
    void WhileWaiting() override {}

    void ReportCopyError(const CInternetException& error) override
    {
        pool.Ask([this, &error] { pool.report.ReportCopyError(error); }, true);
    }
    void ReportCopyError() override
    {
        pool.Ask([this] { pool.report.ReportCopyError(); }, true);
    }
    bool CheckNotInsideSource(const QString& source, const QString& destination) override
    {
        bool outside = false;
        pool.Ask([&] { outside = pool.report.CheckNotInsideSource(source, destination); }, false);
        return outside;
    }
    MsgAnswer ShowMessage(const QString& text, const QString& caption, MsgIcon icon,
                          MsgButtons buttons) override
    {
        // Unshown (the pool is stopping), the answer is the one that does nothing.
        MsgAnswer answer = buttons == MsgButtons::Ok      ? MsgAnswer::Ok
                           : buttons == MsgButtons::YesNo ? MsgAnswer::No
                                                          : MsgAnswer::Cancel;
        pool.Ask([&] { answer = pool.report.ShowMessage(text, caption, icon, buttons); },
                 icon == MsgIcon::Stop);
        return answer;
    }
    void Skip(const QString& path, const QString& reason) override
    {
        pool.Ask([&] { pool.report.Skip(path, reason); }, false);
    }

private:
    CTransferPool& pool;
    Helper& helper;
};

CTransferPool::CTransferPool(CTransferReport& transferReport, int connections, RunHere here)
    : report(transferReport)
    , runHere(std::move(here))
    , connectionCount(std::clamp(connections, 1, 10))
{}

CTransferPool::~CTransferPool()
{
    {
        const std::lock_guard lock(mutex);
        Stop();
        shuttingDown = true;
        changed.notify_all();
    }
    for (const std::unique_ptr<Helper>& helper : helpers) {
        if (helper->thread.joinable())
            helper->thread.join();
    }
}

int CTransferPool::LiveHelpers()
{
    return liveHelpers;
}

void CTransferPool::SetLink(const TransferLink& newLink, bool keep,
                            std::optional<CServerChecks> checks)
{
    const std::lock_guard lock(mutex);
    link = newLink;
    passive = newLink.connection && newLink.connection->IsPassive();
    keepTimes = keep;
    serverChecks = std::move(checks);
}

void CTransferPool::StartHelpers()
{
    if (!helpers.empty())
        return;
    for (int number = 0; number < connectionCount; ++number) {
        auto helper = std::make_unique<Helper>();
        helper->report = std::make_unique<CHelperReport>(*this, *helper);
        Helper* self = helper.get();
        ++liveHelpers;
        try {
            helper->thread = std::thread([this, self] {
                HelperMain(*self);
                --liveHelpers;
            });
        } catch (const std::system_error&) {
            --liveHelpers;
            helper->gone = true;
            ++loggedOut;
        }
        helpers.push_back(std::move(helper));
    }
}

void CTransferPool::HelperMain(Helper& helper)
{
    TransferLink helperLink;
    CFileTransfer engine(*helper.report);
    std::unique_ptr<CFtpConnection> connection;
    CInternetSession* connectedBy = nullptr;
    for (;;) {
        FileJob job;
        bool usePassive = false;
        bool keep = true;
        std::optional<CServerChecks> checks;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [this, &helper] {
                return shuttingDown || (!waiting.empty() && !stopping) ||
                       (finishing && helper.unsettled);
            });
            if (shuttingDown)
                break;
            if (waiting.empty() || stopping) {
                // The copy is ending: the checks still open are settled (a mismatch shows
                // its box through the report), or dropped after a cancel. The walking engine
                // waits meanwhile, so its session is there to end a wait on a cancel.
                CInternetSession* current = link.session;
                lock.unlock();
                if (current)
                    current->SetWaitHook([this] { return !stopping.load(); });
                const bool held = engine.SettleChecks();
                if (current)
                    current->SetWaitHook({});
                lock.lock();
                helper.unsettled = false;
                if (!held)
                    failed = true;
                changed.notify_all();
                continue;
            }
            job = waiting.front();
            waiting.pop_front();
            helper.job = job;
            helper.from = job.source;
            helper.to = job.destination;
            helper.status.clear();
            helper.bytesDone = 0;
            helper.totalBytes = 0;
            helper.blockIndex = 0;
            helperLink = link;
            usePassive = passive;
            keep = keepTimes;
            checks = serverChecks;
        }
        // The session is used only while the walking engine waits for this file: between two
        // calls of the engine the program may replace it.
        CInternetSession* session = helperLink.session;
        if (session != connectedBy && connection) {
            connection->Close();
            connection.reset();
        }
        connectedBy = session;
        // Every wait of this thread on the network asks whether the copy still wants it.
        session->SetWaitHook([this] { return !stopping.load(); });
        if (!connection) {
            try {
                const ProfileRecord& profile = helperLink.profile;
                connection = session->GetFtpConnection(profile.address, profile.userId,
                                                       profile.password, 0, usePassive);
            } catch (const CInternetException&) {
            }
            if (!connection) {
                session->SetWaitHook({});
                const std::lock_guard lock(mutex);
                helper.job.reset();
                changed.notify_all();
                if (stopping)
                    continue; // the login was given up with the copy
                // The others, or the walking engine itself, take the file over.
                ++loggedOut;
                waiting.push_front(job);
                break;
            }
        }
        helperLink.connection = connection.get();
        engine.SetLink(helperLink);
        engine.SetKeepTimes(keep);
        if (checks)
            engine.SetServerChecks(*checks);
        Finished done;
        done.copied = engine.RunFileJob(job, done.outcome);
        if (std::unique_ptr<CFtpConnection> fresh = engine.TakeFreshConnection())
            connection = std::move(fresh);
        // A call ended by a cancel closes the connection: the next file logs in afresh. The
        // engine must not keep it either (its checks may ask over it while they settle).
        if (!connection->IsOpen())
            connection.reset();
        helperLink.connection = connection.get();
        engine.SetLink(helperLink);
        session->SetWaitHook({});
        done.job = std::move(job);
        done.elapsedSeconds = helper.elapsedSeconds;
        const std::lock_guard lock(mutex);
        helper.job.reset();
        helper.unsettled = true;
        // The failure has been shown: no file waiting starts after it.
        if (!done.copied) {
            failed = true;
            waiting.clear();
        }
        finished.push_back(std::move(done));
        changed.notify_all();
    }
    // Files it copied before its last login failed are settled all the same, while the
    // connection they may be asked about over is still there.
    const bool held = !helper.unsettled || engine.SettleChecks();
    if (connection)
        connection->Close();
    const std::lock_guard lock(mutex);
    helper.unsettled = false;
    failed = failed || !held;
    helper.gone = true;
    changed.notify_all();
}

void CTransferPool::Ask(const std::function<void()>& show, bool endsTheFile)
{
    Prompt prompt;
    prompt.show = show;
    std::unique_lock lock(mutex);
    if (stopping)
        return;
    if (endsTheFile) {
        // The copy has failed with the first such box: no file waiting starts, and the
        // failures of files that were running beside it are not shown again.
        if (failed)
            return;
        failed = true;
        waiting.clear();
    }
    prompts.push_back(&prompt);
    changed.notify_all();
    changed.wait(lock, [&prompt] { return prompt.answered; });
}

void CTransferPool::Stop()
{
    stopping = true;
    waiting.clear();
    // Boxes not shown yet are not shown any more; their helpers go on to their end.
    for (Prompt* prompt : prompts)
        prompt->answered = true;
    prompts.clear();
    changed.notify_all();
}

bool CTransferPool::DestinationBusy(const QString& destination) const
{
    const auto same = [&destination](const FileJob& other) {
        return other.destination.compare(destination, Qt::CaseInsensitive) == 0;
    };
    for (const FileJob& queued : waiting) {
        if (same(queued))
            return true;
    }
    for (const std::unique_ptr<Helper>& helper : helpers) {
        if (helper->job && same(*helper->job))
            return true;
    }
    return false;
}

int CTransferPool::RunningFiles() const
{
    const std::lock_guard lock(mutex);
    int running = 0;
    for (const std::unique_ptr<Helper>& helper : helpers)
        running += helper->job ? 1 : 0;
    return running;
}

QStringList CTransferPool::RunningLines() const
{
    QStringList lines;
    for (const std::unique_ptr<Helper>& helper : helpers) {
        if (!helper->job)
            continue;
        const quint64 total = helper->totalBytes;
        const quint64 done = helper->bytesDone;
        const QString figures =
            done > 0
                ? TransferFigures::BytesCopiedText(done, total ? QString::number(total) : QString())
                : helper->status;
        lines.append(figures.isEmpty()
                         ? FileNameOf(helper->job->source)
                         : FileNameOf(helper->job->source) + QStringLiteral(": ") + figures);
    }
    return lines;
}

bool CTransferPool::Pump(std::unique_lock<std::mutex>& lock)
{
    // The helpers' boxes, one at a time; only the helper that asked waits meanwhile.
    while (!prompts.empty()) {
        Prompt* prompt = prompts.front();
        prompts.pop_front();
        prompt->taken = true;
        lock.unlock();
        prompt->show();
        lock.lock();
        prompt->answered = true;
        changed.notify_all();
    }
    // Files that ended. One that failed has shown why; no further file starts.
    std::vector<Finished> ended = std::exchange(finished, {});
    for (const Finished& done : ended) {
        if (!done.copied) {
            failed = true;
            continue;
        }
        // Its last figures stay in the window until another file moves; the folder tally
        // that follows takes its bytes over.
        lock.unlock();
        if (done.outcome.bytes > 0)
            report.ShowTransferProgress(done.outcome.bytes, QString::number(done.outcome.bytes),
                                        done.elapsedSeconds);
        if (onCopied)
            onCopied(done.job, done.outcome);
        lock.lock();
    }
    if (failed)
        waiting.clear();
    // Files no helper could take, as none could log in: copied here, one after another.
    while (loggedOut == static_cast<int>(helpers.size()) && !waiting.empty() && !failed &&
           !stopping) {
        const FileJob job = waiting.front();
        waiting.pop_front();
        lock.unlock();
        FileJobOutcome outcome;
        const bool copied = runHere(job, outcome);
        if (copied && onCopied)
            onCopied(job, outcome);
        lock.lock();
        failed = failed || !copied;
    }
    if (stopping)
        return false;
    // The window at its own pace: between two looks only the Cancel is checked.
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDisplay < kPumpInterval) {
        if (!report.CancelRequested())
            return !failed;
    }
    lastDisplay = now;

    // The window: a line per running file, the first one's figures in the transfer controls,
    // and the user's Cancel.
    const QStringList lines = RunningLines();
    const Helper* first = nullptr;
    for (const std::unique_ptr<Helper>& helper : helpers) {
        if (helper->job) {
            first = helper.get();
            break;
        }
    }
    const QString from = first ? first->from : QString();
    const QString to = first ? first->to : QString();
    const quint64 total = first ? first->totalBytes.load() : 0;
    const quint64 done = first ? first->bytesDone.load() : 0;
    const quint64 block = first ? first->blockIndex.load() : 0;
    const qint64 elapsed = first ? first->elapsedSeconds.load() : 0;
    lock.unlock();
    if (lines != shownLines) {
        report.ShowRunningFiles(lines);
        shownLines = lines;
    }
    if (first && from != shownFrom) {
        report.SetFrom(from);
        report.SetTo(to);
        shownFrom = from;
    }
    // A cancel seen elsewhere has been shown there; one seen here is shown by the poll.
    bool goOn = !report.CancelRequested();
    if (goOn && first && done > 0) {
        report.ShowTransferProgress(done, total ? QString::number(total) : QString(), elapsed);
        goOn = report.UpdateProgress(block, total);
    } else if (goOn) {
        goOn = report.PollCancel();
    }
    lock.lock();
    if (!goOn)
        Stop();
    return !failed && !stopping;
}

bool CTransferPool::Submit(FileJob job)
{
    if (!copying) {
        // The helpers' engines show nothing themselves.
        report.ShowTransferControls();
        report.SetStatusLine(FileMessages::TransferringText());
        report.ShowCopying(true);
        copying = true;
    }
    std::unique_lock lock(mutex);
    StartHelpers();
    for (;;) {
        if (!Pump(lock))
            return false;
        // A file that ended while the window was served is looked at before the next starts.
        if (!finished.empty() || !prompts.empty())
            continue;
        if (loggedOut == static_cast<int>(helpers.size())) {
            waiting.push_back(std::move(job));
            return Pump(lock);
        }
        if (waiting.size() < kQueueLength && !DestinationBusy(job.destination)) {
            waiting.push_back(std::move(job));
            changed.notify_all();
            return true;
        }
        changed.wait_for(lock, kPumpInterval);
    }
}

bool CTransferPool::Finish()
{
    std::unique_lock lock(mutex);
    finishing = true;
    changed.notify_all();
    for (;;) {
        Pump(lock);
        bool running = !waiting.empty() || !prompts.empty() || !finished.empty();
        for (const std::unique_ptr<Helper>& helper : helpers)
            running = running || helper->job.has_value() || (helper->unsettled && !helper->gone);
        if (!running)
            break;
        changed.wait_for(lock, kPumpInterval);
    }
    finishing = false;
    const bool copied = !failed && !stopping;
    // The next call of the engine starts afresh; whether it may start is the caller's word.
    failed = false;
    stopping = false;
    const bool clearLines = !shownLines.isEmpty();
    shownLines.clear();
    shownFrom.clear();
    lock.unlock();
    if (clearLines)
        report.ShowRunningFiles({});
    if (std::exchange(copying, false))
        report.ShowCopying(false);
    return copied;
}
