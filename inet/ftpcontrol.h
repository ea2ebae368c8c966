#pragma once

#include "inet/ftpclaim.h"
#include "inet/ftpconnection.h"
#include "inet/ftpfilefind.h"
#include "inet/ftpline.h"
#include "inet/ftpreplyparsers.h"
#include "inet/ftpsecurity.h"
#include "inet/hostresolver.h"
#include "inet/listingparser.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CFtpSocket;
class CFtpDataChannel;
class CTlsStream;
struct FtpSessionShared;

// What MLST said about one path.
struct FtpMlstAnswer
{
    enum class State { Found, Missing, Unknown }; // Unknown: no usable answer, ask otherwise
    State state = State::Unknown;
    FtpListEntry entry;
};

// One logged-in control connection and what is known about it. It owns its line
// (CFtpLine: the stream, the replies, the TLS state, the features, the transfer type in
// force), which a fallback that cost the connection replaces whole by a fresh login; what
// was learned of the server (the data connection mode, refused commands, the login
// folder) outlives the line. Used by one thread at a time. Once the line is lost every
// later call fails at once with InetErrorKind::Closed.
class CFtpControl
{
public:
    explicit CFtpControl(std::shared_ptr<FtpSessionShared> session);
    ~CFtpControl();
    CFtpControl(const CFtpControl&) = delete;
    CFtpControl& operator=(const CFtpControl&) = delete;

    // Connects, sets up TLS as `security` asks, logs in, reads FEAT and the login folder.
    // `passive`: passive mode first where the session knows no working mode for the
    // server. Throws CInternetException. The password goes out only once the server's
    // certificate is trusted.
    static std::unique_ptr<CFtpControl> Open(std::shared_ptr<FtpSessionShared> session,
                                             const FtpServerAddress& server, const QString& user,
                                             const QString& password, bool passive,
                                             FtpSecurity security);

    FtpSessionShared& Session() const { return *shared; }
    const FtpFeatures& Features() const { return line.features; }
    bool IsLost() const { return line.IsLost(); }
    bool IsPassive() const { return passive; }
    // "TLS 1.3", "TLS 1.2"; empty on a plain connection.
    const QString& SecurityName() const { return line.securityName; }
    void EnsureUsable() const { line.EnsureUsable(); } // throws Closed
    void EnsureNoOpenFile() const; // throws Busy while a file is open on this connection
    void EnsureFree() const;       // throws Busy while a file or a search is open

    // Holds the connection busy for a file or a search. Throws Busy when it is held.
    CFtpClaim Claim(bool forFile);
    bool IsClaimed() const { return claimId != 0; }
    void EndClaim(quint64 id); // for CFtpClaim
    const std::shared_ptr<FtpControlLink>& Link() const { return link; }

    // A path or name for a command, in the server's bytes. Throws Protocol for text that
    // would break the command line (CR, LF, NUL) or is empty.
    QByteArray Argument(const QString& path) const;
    // A listing or path argument that no server can take for an option.
    static QByteArray SafePathArgument(const QByteArray& argument);

    // Sends `command` and returns its final reply (1xx skipped).
    FtpReply Execute(const QByteArray& command);
    // Sends all `commands` in one write and returns their final replies in order: the
    // server answers them one after the other, and their round trips overlap.
    std::vector<FtpReply> ExecuteTogether(const QList<QByteArray>& commands);
    // The final reply of a transfer under way.
    FtpReply FinalReply();
    void SetType(TransferType type);

    // Opens the data connection for `command` (RETR, STOR, LIST, MLSD...) in the
    // connection's mode, falling back to the other mode once for the connection's life.
    // With `restartAt`, REST of that offset goes right before the command (RFC 3659 stream
    // restart); a server that refuses it throws InetErrorKind::Reply with its reply code,
    // before the command was sent, and RestartRefused() tells so until the next OpenData.
    std::unique_ptr<CFtpDataChannel> OpenData(const QByteArray& command, FileAccess direction,
                                              TransferType type,
                                              std::optional<quint64> restartAt = std::nullopt);
    bool RestartRefused() const { return restartRefused; }
    // After a transfer was given up: ABOR, then NOOP, and the replies drained up to the
    // NOOP's, so that the connection is in step again (else it is lost).
    // `afterAbor`, when given, runs right after ABOR is sent and before its replies are
    // read (a download's data connection is read to its end there).
    void AbortTransfer(bool finalReplyPending,
                       const std::function<void(CFtpWaiter&)>& afterAbor = {});

    // The entries of a folder (MLSD or LIST of `folder`, "" for the current one).
    std::vector<FtpListEntry> List(const QByteArray& folder);
    bool UseMachineListings() const;
    // MLST of one path, where the server offers it.
    FtpMlstAnswer Mlst(const QByteArray& path);
    // Asks what the links among `entries` (listed from `folder`, "" for the current one)
    // lead to, where the listing did not tell.
    void LearnLinkTargets(const QByteArray& folder, std::vector<FtpListEntry>& entries);

    const QString& PoolKey() const { return poolKey; }
    void SetPoolKey(const QString& key) { poolKey = key; }
    // Healthy, idle and able to go back to its login folder.
    bool CanBePooled() const;
    // Makes a pooled connection ready for reuse: alive and back in its login folder.
    bool Revive(bool requestedPassive);
    void Quit();

private:
    void SendLine(const QByteArray& command, CFtpWaiter& waiter);
    // Before a new command, when no reply is owed: drops what the server sent unasked (a
    // late 426 of an abort, a second greeting), which would else pass for the answer.
    void DiscardStrayReplies(CFtpWaiter& waiter);

    void Login(const QString& user, const QString& password);
    // TLS (ftpcontrol_tls.cpp): AUTH TLS where `wanted` asks for it, the handshake, the
    // certificate check, and PBSZ/PROT after the login.
    void NegotiateTls(FtpSecurity wanted, CFtpWaiter& waiter);
    void StartTls(CFtpSocket socket, CFtpWaiter& waiter);
    void CheckCertificate(const CTlsStream& tls);
    // Whether this server spoke TLS before (in this run or an earlier one).
    bool KnownTlsServer() const;
    [[noreturn]] void RefuseDowngrade(const FtpReply& reply);
    void ProtectData();
    std::unique_ptr<CFtpStream> SecureData(CFtpSocket socket, bool finalReplyPending);
    QString TrustKey() const;
    void SelectMlstFacts();
    // OpenPassive with the command sent in the same write as its EPSV; falls back to
    // OpenPassive, for good on this connection, when the server does not take the two so.
    std::unique_ptr<CFtpDataChannel> OpenPassiveTogether(const QByteArray& command,
                                                         FileAccess direction, QString& failure);
    std::unique_ptr<CFtpDataChannel> OpenPassive(const QByteArray& command, FileAccess direction,
                                                 QString& failure);
    std::unique_ptr<CFtpDataChannel> OpenActive(const QByteArray& command, FileAccess direction,
                                                QString& failure);
    // A connection to the peer's `port`; none, with `failure` told, when it cannot be made.
    std::optional<CFtpSocket> ConnectDataPort(quint16 port, CFtpWaiter& waiter, QString& failure);
    bool AnnounceActivePort(const CSocketAddress& listening, QString& failure);
    // REST of the offset OpenData was given, if any; throws when the server refuses it.
    void SendRestart();
    // The mode to start with: the one that worked with this server, else as asked.
    bool StartMode(bool requestedPassive) const;
    // Replaces a lost connection by a fresh login, back in `directory` where known.
    void Reconnect(const QByteArray& directory);
    std::vector<FtpListEntry> ReadListing(const QByteArray& command, ListingFormat format);
    std::unique_ptr<CFtpDataChannel> MakeChannel(CFtpSocket socket, FileAccess direction,
                                                 std::optional<FtpReply> finalReply);

    std::shared_ptr<FtpSessionShared> shared;
    std::shared_ptr<FtpControlLink> link;
    FtpSecurity security = FtpSecurity::Opportunistic;
    CFtpLine line; // replaced whole by a reconnect
    bool passive = false;
    bool modeSwitched = false; // the one fallback between active and passive was used
    // A data connection after an upload offered a spent TLS 1.3 ticket and was opened again
    // with the fresh one its handshake brought (SecureData); useless once that did not help.
    bool dataRedoPending = false;
    bool dataRedoing = false;
    bool dataRedoUseless = false;
    bool epsvRefused = false;
    // Whether a data command goes in the same write as its EPSV: tried once EPSV has worked
    // here, and given up for the connection's life when the server does not cope.
    std::optional<bool> commandBehindEpsv;
    bool eprtRefused = false;
    std::optional<quint64> pendingRestart; // the REST offset of the OpenData under way
    bool restartRefused = false;
    QByteArray loginDirectory;
    FtpServerAddress server;
    QString loginUser;
    QString loginPassword;
    QString modeKey; // the server, as the session remembers what it learned of it
    QString poolKey;
    quint64 claimId = 0; // 0: nothing holds the connection
    bool claimForFile = false;
    quint64 lastClaimId = 0;
};

// A CInternetException for a reply of the wrong class.
CInternetException ReplyError(InetErrorKind kind, const QString& what, const FtpReply& reply);
