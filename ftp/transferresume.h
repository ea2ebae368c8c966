#pragma once

#include "inet/ftpconnection.h"

#include <QString>

#include <chrono>
#include <memory>

class CInternetException;
class CInternetFile;
class CServerChecks;
class CStreamDigest;
class QFile;
class CTransferReport;
struct TransferLink;

// Takes a file transfer past a broken connection: waits a moment (longer each time, with
// Cancel heard throughout), logs in again with the same profile and session (so over TLS
// the same trust decision holds), and opens the file again where the copy stopped. The
// fresh connection is kept here and put in the link, for the rest of the copy to use.
class CTransferResume
{
public:
    static constexpr int kTries = 3;

    explicit CTransferResume(CTransferReport& report);
    ~CTransferResume();
    CTransferResume(const CTransferResume&) = delete;
    CTransferResume& operator=(const CTransferResume&) = delete;

    // A new file starts: its tries are counted afresh.
    void BeginFile();
    // Whether `error` is a break that a fresh login may get past: the control or data
    // connection lost, no answer in time, 421, or 426 once data had flowed. A cancel never is.
    static bool IsBreak(const CInternetException& error, bool dataFlowed);

    // After `error` broke the copy of `ftpPath`: the file opened again on a fresh login.
    // `offset` comes in as the bytes this side holds of the file, and goes out as where
    // the new transfer starts: for an upload no further than the server says it stored
    // (SIZE), and 0 where the server refuses REST. Null, with the failure or the cancel
    // reported, when the tries are used up or the user cancelled.
    std::unique_ptr<CInternetFile> Reopen(TransferLink& link, const CInternetException& error,
                                          const QString& ftpPath, FileAccess access,
                                          const CServerChecks& checks, quint64& offset);

    // The fresh connection, for the link's owner to keep; null when there is none.
    std::unique_ptr<CFtpConnection> TakeConnection() { return std::move(connection); }

    // Makes an upload go on from `offset` of `local` after Reopen moved its start back:
    // the file positioned there, and `digest` (where there is one) made anew over the
    // bytes before it. False when the local file cannot be read.
    static bool Rewind(QFile& local, quint64 offset, const CServerChecks& checks,
                       std::unique_ptr<CStreamDigest>& digest);

    // The first pause; each further one is twice the one before. Tests shorten it.
    static void SetFirstPause(std::chrono::milliseconds pause);

private:
    // Waits `pause`, polling for Cancel all the while; false once the user cancelled.
    bool Pause(std::chrono::milliseconds pause, int attempt);
    std::unique_ptr<CInternetFile> OpenAgain(CFtpConnection& connection, const QString& ftpPath,
                                             FileAccess access, const CServerChecks& checks,
                                             quint64& offset);

    CTransferReport& report;
    int tries = 0;
    quint64 lastOffset = 0; // where the last resume started; progress past it earns new tries
    std::unique_ptr<CFtpConnection> connection;
};
