#pragma once

#include "inet/ftpconnection.h"
#include "inet/ftpfilefind.h"
#include "inet/ftpreplyparsers.h"
#include "inet/ftpreplyreader.h"
#include "inet/ftpsocket.h"
#include "inet/hostresolver.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

struct FtpControl;
struct FtpDataChannel;
struct FtpSessionShared;

// What keeps a connection busy: an open file or an open search holds it. The connection
// clears `control` when it goes first, so a holder never reaches a dead connection.
struct FtpLease
{
    FtpControl* control = nullptr;
    bool forFile = false;
};

// One logged-in control connection and everything known about it: the server's features,
// the transfer type in force, the data connection mode, the login folder. Used by one
// thread at a time. A connection that times out, is cancelled in the middle of a reply,
// breaks or hears garbage is marked lost: its replies can no longer be matched to its
// commands, so every later call fails at once with InetErrorKind::Closed.
struct FtpControl
{
    explicit FtpControl(std::shared_ptr<FtpSessionShared> session);
    ~FtpControl();
    FtpControl(const FtpControl&) = delete;
    FtpControl& operator=(const FtpControl&) = delete;

    // Connects, logs in, reads FEAT and the login folder. Throws CInternetException.
    static std::unique_ptr<FtpControl> Open(std::shared_ptr<FtpSessionShared> session,
                                            const FtpServerAddress& server, const QString& user,
                                            const QString& password, bool passive);

    void EnsureUsable() const;     // throws Closed
    void EnsureNoOpenFile() const; // throws Busy while a transfer runs on this connection
    std::shared_ptr<FtpLease> AcquireLease(bool forFile); // throws Busy
    static void ReleaseLease(const std::shared_ptr<FtpLease>& held);

    // A path or name for a command, in the server's bytes. Throws Protocol for text that
    // would break the command line (CR, LF, NUL) or is empty.
    QByteArray Argument(const QString& path) const;
    // A listing or path argument that no server can take for an option.
    static QByteArray SafePathArgument(const QByteArray& argument);

    void SendLine(const QByteArray& line, CFtpWaiter& waiter);
    // The next reply, preliminary ones included.
    FtpReply ReadReply(CFtpWaiter& waiter, CFtpWaiter::Clock::time_point deadline);
    // Sends `command` and returns its final reply (1xx skipped).
    FtpReply Execute(const QByteArray& command);
    void SetType(TransferType type);

    // Opens the data connection for `command` (RETR, STOR, LIST, MLSD...) in the
    // connection's mode, falling back to the other mode once for the connection's life.
    std::unique_ptr<FtpDataChannel> OpenData(const QByteArray& command, FileAccess direction,
                                             TransferType type);
    // After a transfer was given up: ABOR, then NOOP, and the replies drained up to the
    // NOOP's, so that the connection is in step again (else it is marked lost).
    void AbortTransfer(bool finalReplyPending);
    // Reads the final reply of a transfer.
    FtpReply ReadTransferReply();

    // The entries of a folder (MLSD or LIST of `folder`, "" for the current one).
    std::vector<FtpListEntry> List(const QByteArray& folder);
    // MLST of one path: its entry, or nothing when the server says it does not exist.
    std::optional<FtpListEntry> Mlst(const QByteArray& path);
    bool UseMachineListings() const;

    // Makes a pooled connection ready for reuse: alive and back in its login folder.
    bool Revive(bool requestedPassive);
    void Quit();
    void MarkLost(const QString& reason);

    std::shared_ptr<FtpSessionShared> shared;
    CFtpSocket socket;
    CSocketAddress peer;
    CSocketAddress local;
    CFtpReplyReader reader;
    bool lost = false;
    QString lostReason;
    FtpFeatures features;
    std::optional<TransferType> currentType;
    bool passive = false;
    bool modeSwitched = false; // the one fallback between active and passive was used
    bool epsvRefused = false;
    bool eprtRefused = false;
    QByteArray loginDirectory;
    QString poolKey;
    std::shared_ptr<FtpLease> lease;

private:
    void ReceiveIntoReader();
    std::unique_ptr<FtpDataChannel> OpenPassive(const QByteArray& command, FileAccess direction,
                                                QString& failure);
    std::unique_ptr<FtpDataChannel> OpenActive(const QByteArray& command, FileAccess direction,
                                               QString& failure);
    bool AnnounceActivePort(const CSocketAddress& listening, QString& failure);
    void Login(const QString& user, const QString& password);
    void SelectMlstFacts();
};

// A CInternetException for a reply of the wrong class.
CInternetException ReplyError(InetErrorKind kind, const QString& what, const FtpReply& reply);
