#include "ftp/transferresume.h"

#include "ftp/filemessages.h"
#include "ftp/filetransfer.h"
#include "ftp/streamdigest.h"
#include "ftp/transferchecks.h"
#include "ftp/transferreport.h"
#include "inet/internetexception.h"
#include "inet/internetfile.h"
#include "inet/internetsession.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<long long> firstPauseMs{1000};

constexpr qint64 kPollMs = 20;

QString PauseText(qint64 secondsLeft, int attempt)
{
    return QStringLiteral("Connection lost - trying again in %1 s (try %2 of %3)")
        .arg(secondsLeft)
        .arg(attempt)
        .arg(CTransferResume::kTries);
}

} // namespace

CTransferResume::CTransferResume(CTransferReport& transferReport)
    : report(transferReport)
{}

CTransferResume::~CTransferResume() = default;

void CTransferResume::SetFirstPause(std::chrono::milliseconds pause)
{
    firstPauseMs = pause.count();
}

void CTransferResume::BeginFile()
{
    tries = 0;
    lastOffset = 0;
}

bool CTransferResume::IsBreak(const CInternetException& error, bool dataFlowed)
{
    switch (error.Kind()) {
    case InetErrorKind::Closed:
    case InetErrorKind::Timeout:
    case InetErrorKind::DataConnection:
        return true;
    case InetErrorKind::Reply:
        return error.ReplyCode() == 421 || (error.ReplyCode() == 426 && dataFlowed);
    default:
        return false;
    }
}

bool CTransferResume::Pause(std::chrono::milliseconds pause, int attempt)
{
    QElapsedTimer timer;
    timer.start();
    qint64 shown = -1;
    for (;;) {
        const qint64 left = pause.count() - timer.elapsed();
        const qint64 seconds = (std::max<qint64>(left, 0) + 999) / 1000;
        if (seconds != shown) {
            shown = seconds;
            report.SetStatusLine(PauseText(seconds, attempt));
        }
        report.RefreshAtRhythm();
        if (!report.PollCancel())
            return false;
        if (left <= 0)
            return true;
        QThread::msleep(static_cast<unsigned long>(std::min(left, kPollMs)));
    }
}

std::unique_ptr<CInternetFile> CTransferResume::Reopen(TransferLink& link,
                                                       const CInternetException& error,
                                                       const QString& ftpPath, FileAccess access,
                                                       const CServerChecks& checks, quint64& offset)
{
    if (offset > lastOffset) {
        tries = 0;
        lastOffset = offset;
    }
    if (!link.session) {
        report.ReportCopyError(error);
        return nullptr;
    }
    const quint64 held = offset;
    const bool passive = link.connection ? link.connection->IsPassive() : true;
    CInternetException last = error;
    while (tries < kTries) {
        ++tries;
        if (!Pause(std::chrono::milliseconds(firstPauseMs.load() << (tries - 1)), tries))
            return nullptr;
        report.SetStatusLine(
            QStringLiteral("Logging in again (try %1 of %2)").arg(tries).arg(kTries));
        try {
            const ProfileRecord& profile = link.profile;
            std::unique_ptr<CFtpConnection> fresh = link.session->GetFtpConnection(
                profile.address, profile.userId, profile.password, 0, passive);
            // Paths without a leading "/" name the same files as before.
            if (!link.currentDir.isEmpty() && !fresh->SetCurrentDirectory(link.currentDir))
                continue;
            offset = held;
            std::unique_ptr<CInternetFile> file =
                OpenAgain(*fresh, ftpPath, access, checks, offset);
            connection = std::move(fresh);
            link.connection = connection.get();
            report.SetStatusLine(FileMessages::TransferringText());
            return file;
        } catch (const CInternetException& failure) {
            if (failure.Kind() == InetErrorKind::Cancelled) {
                report.PollCancel();
                return nullptr;
            }
            last = failure;
        }
    }
    report.ReportCopyError(last);
    return nullptr;
}

std::unique_ptr<CInternetFile> CTransferResume::OpenAgain(CFtpConnection& fresh,
                                                          const QString& ftpPath, FileAccess access,
                                                          const CServerChecks& checks,
                                                          quint64& offset)
{
    if (access == FileAccess::Write && offset > 0) {
        // What the server stored of the upload; bytes it never got are sent again.
        const std::optional<quint64> stored = LengthOf(fresh, checks, ftpPath).announced;
        offset = stored && *stored <= offset ? *stored : 0;
    }
    if (offset > 0) {
        if (std::unique_ptr<CInternetFile> file = fresh.OpenFileAt(ftpPath, access, offset))
            return file;
        offset = 0; // the server will not start part-way: the file goes again whole
    }
    return fresh.OpenFile(ftpPath, access);
}

bool CTransferResume::Rewind(QFile& local, quint64 offset, const CServerChecks& checks,
                             std::unique_ptr<CStreamDigest>& digest)
{
    if (!local.seek(0))
        return false;
    digest = DigestFor(checks);
    char buffer[64 * 1024];
    for (quint64 left = offset; left > 0;) {
        const qint64 got =
            local.read(buffer, static_cast<qint64>(std::min<quint64>(left, sizeof buffer)));
        if (got <= 0)
            return false;
        if (digest)
            digest->Add(buffer, got);
        left -= static_cast<quint64>(got);
    }
    return true;
}
