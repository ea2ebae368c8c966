// The checks of copied files against the server's digest: asked on a side connection while
// the next file moves, and settled in the order the files were copied.
#include "ftp/filetransfer.h"

#include "ftp/digestside.h"
#include "ftp/filemessages.h"
#include "ftp/partfile.h"
#include "ftp/serverchecks.h"
#include "ftp/streamdigest.h"
#include "ftp/transferchecks.h"
#include "ftp/transferreport.h"
#include "inet/ftpconnection.h"
#include "inet/internetexception.h"

#include <utility>

namespace {

// Past this many files whose checks are pending, the oldest answer is waited for, so that
// the answers keep up with the copies.
constexpr std::size_t kMostPending = 32;

} // namespace

std::optional<quint64> CFileTransfer::AskAside(const QString& serverPath, bool large)
{
    if ((!batch && !large) || !serverChecks || !serverChecks->Algorithm() || !link.connection)
        return std::nullopt;
    if (!digestSide) {
        const ProfileRecord& profile = link.profile;
        // In the mode that works for the main connection.
        digestSide = CDigestSide::Start({profile.address, profile.userId, profile.password,
                                         link.connection->IsPassive(), link.tlsMemory},
                                        *serverChecks);
        if (!digestSide)
            return std::nullopt;
    }
    // The side connection starts in the login's folder, not in the engine's current one.
    const QString absolute = serverPath.startsWith(QLatin1Char('/'))
                                 ? serverPath
                                 : link.currentDir + QLatin1Char('/') + serverPath;
    return digestSide->Ask(absolute);
}

void CFileTransfer::DropTicket(std::optional<quint64> ticket)
{
    if (ticket && digestSide)
        digestSide->Drop(*ticket);
}

bool CFileTransfer::AddCheck(PendingCheck check)
{
    check.serial = ++checkSerial;
    pendingChecks.push_back(std::move(check));
    if (pendingChecks.size() > kMostPending && !Settle(true, false, 1))
        return false;
    return Settle(false, false);
}

bool CFileTransfer::SettleChecks()
{
    const bool held = Settle(true, false);
    // Nothing is left to ask: the side connection goes with the batch that needed it.
    digestSide.reset();
    return held;
}

bool CFileTransfer::Finish(bool copied)
{
    if (!copied) {
        Settle(true, true);
        digestSide.reset();
        return false;
    }
    return SettleChecks();
}

bool CFileTransfer::Settle(bool wait, bool quiet, std::size_t most)
{
    bool held = true;
    std::size_t settled = 0;
    for (auto check = pendingChecks.begin();
         check != pendingChecks.end() && settled < most && !report.CancelRequested();) {
        // After a failure only a download has anything left to do: take its place.
        if (quiet && !check->part) {
            DropTicket(check->ticket);
            check = pendingChecks.erase(check);
            continue;
        }
        std::optional<QByteArray> theirs = check->theirs;
        if (!theirs) {
            std::optional<CDigestSide::Answer> answer;
            if (!digestSide)
                answer = CDigestSide::Answer{{}, true};
            else if (wait)
                answer = digestSide->Wait(
                    *check->ticket, [this] { report.WhileWaiting(); },
                    [this] { return report.CancelRequested(); });
            else
                answer = digestSide->Take(*check->ticket);
            // Not in yet, or the wait was cancelled. The checks settle in the order the files
            // were copied, so that a later download never takes a place before an earlier one.
            if (!answer)
                break;
            theirs = answer->digest;
            if (answer->unavailable && link.connection && serverChecks) {
                // The side connection could not ask: the engine's own connection does.
                try {
                    theirs = ServerDigestOf(*link.connection, *serverChecks, check->serverPath);
                } catch (const CInternetException&) {
                    theirs = QByteArray(); // a cancel: dropped below
                }
            }
        }
        if (report.CancelRequested())
            break; // a cancel while the answer came commits nothing
        if (!Resolve(*check, *theirs, quiet || !held))
            held = false;
        check = pendingChecks.erase(check);
        ++settled;
    }
    if (report.CancelRequested()) {
        // A cancelled copy settles nothing: no pending download takes its target's place.
        for (const PendingCheck& check : pendingChecks)
            DropTicket(check.ticket);
        pendingChecks.clear();
        digestSide.reset();
        if (!quiet)
            report.PollCancel();
        return false;
    }
    return held;
}

bool CFileTransfer::Resolve(PendingCheck& check, const QByteArray& theirs, bool quiet)
{
    const DigestCheck result = CompareDigests(check.ours, theirs);
    // A download that did not hold stays in its part file; the user's file is untouched.
    // Its bytes are not the file's: the part is never offered to be gone on with.
    if (result == DigestCheck::Mismatch && check.part)
        check.part->Forget();
    const bool held = result != DigestCheck::Mismatch && (!check.part || check.part->Commit());
    if (!held) {
        if (!quiet) {
            report.SetFrom(check.from);
            report.SetTo(check.to);
            report.ReportCopyError();
        }
        return false;
    }
    // Which checks held the copy to the server's file, while the view still shows it.
    if (!quiet && check.serial == checkSerial)
        report.SetStatusLine(result == DigestCheck::Match ? FileMessages::CheckedByDigestText()
                                                          : FileMessages::CheckedBySizeText());
    return true;
}

CFileTransfer::PendingCheck CFileTransfer::CheckOf(const QString& from, const QString& to,
                                                   const QString& serverPath, CStreamDigest* digest,
                                                   std::optional<quint64> ticket)
{
    PendingCheck check;
    check.from = from;
    check.to = to;
    check.serverPath = serverPath;
    if (!digest) {
        check.theirs = QByteArray();
        return check;
    }
    check.ours = digest->HexResult();
    if (!ticket)
        ticket = AskAside(serverPath, false);
    if (ticket)
        check.ticket = ticket;
    else
        check.theirs = ServerDigestOf(*link.connection, *serverChecks, serverPath);
    return check;
}
