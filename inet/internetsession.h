#pragma once

#include "inet/tlscertificate.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

class CFtpConnection;
class CTlsRunMemory;
struct FtpSessionShared;

// Limits of the session; tests set them short.
struct InternetOptions
{
    std::chrono::milliseconds connectTimeout{20000};
    std::chrono::milliseconds replyTimeout{30000};
    std::chrono::milliseconds dataTimeout{30000};   // a data connection idle this long fails
    std::chrono::milliseconds acceptTimeout{10000}; // active mode: wait for the server to connect
    std::chrono::milliseconds poolIdleLimit{60000}; // pooled connections idle longer are dropped
    int poolPerServer = 4;                          // idle connections kept per server and user
    // Off: LIST, SIZE and MDTM even where the server offers MLSD and MLST (for servers whose
    // machine listings are broken).
    bool useMachineListings = true;
    // The certificates the user trusts; empty: the file in the XDG configuration folder.
    QString trustStorePath;
    // The decisions that hold for the whole run ("Connect this time only", servers that
    // spoke TLS), shared by every session given the same one; null: the session's own.
    std::shared_ptr<CTlsRunMemory> tlsMemory;
    // Data connections try active mode first where the session knows no working mode for
    // the server yet (a server on the same host or network); otherwise passive goes first.
    bool preferActive = false;
    // A listing of more entries than this is refused with a clear error rather than
    // filling the memory.
    std::size_t listingEntryLimit = 2'000'000;
};

// The Internet session: its options, its wait hook and a pool of idle, logged-in FTP
// connections. Connections made by the session may outlive it safely; a connection closed
// after the session is gone is simply closed, and a login still running on another thread
// when the session goes ends with a working connection (or its exception) all the same.
//
// Thread rules: GetFtpConnection may run on a worker thread (the program logs in on one);
// the wait hook is called only on the thread that installed it.
class CInternetSession
{
public:
    explicit CInternetSession(const InternetOptions& options = {});
    ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // Called about every 50 ms while a call of this session waits on the network, on the
    // installing thread only; each thread may install one of its own. Returning false stops the
    // call with InetErrorKind::Cancelled (a running transfer is aborted with ABOR first). An empty
    // hook removes it.
    using WaitHook = std::function<bool()>;
    void SetWaitHook(WaitHook hook);

    // Asked, on the thread that logs in, about a server certificate that neither the
    // system nor an earlier decision vouches for; it blocks until the user has answered.
    // Without it such a certificate is refused.
    using CertificateHook = std::function<TlsTrustAnswer(const TlsCertificateInfo&)>;
    void SetCertificateHook(CertificateHook hook);
    // Told, on the thread that logs in, what the login is doing now.
    using StepHook = std::function<void(const QString&)>;
    void SetStepHook(StepHook hook);

    const InternetOptions& Options() const;
    void SetOptions(const InternetOptions& options);

    // Logs in and returns the connection, or throws CInternetException. `server` is "host",
    // "host:port", "[v6]" or "[v6]:port"; a port there wins over `port`; port 0 means 21.
    // A scheme in front chooses the security: "ftpes://" explicit TLS, "ftps://" implicit
    // TLS (port 990 by default), "ftp://" plain; a bare server uses explicit TLS when the
    // server offers it, and refuses a server that used TLS before and no longer offers it.
    // An empty user logs in as "anonymous" with the password "anonymous@". Data connections
    // use the mode that last worked with this server in this session; for a server not yet
    // known, passive comes first (unless the options prefer active and `passive` is false),
    // and the other mode is the fallback, on a fresh connection when the old one cannot be
    // saved. A pooled idle connection to the same server, user and password is reused when
    // it is still alive.
    std::unique_ptr<CFtpConnection> GetFtpConnection(const QString& server, const QString& user,
                                                     const QString& password, quint16 port = 0,
                                                     bool passive = false);

    // Closes every pooled connection; connections handed out stay usable.
    void Close();

    // Number of idle connections in the pool (all servers).
    int PooledConnectionCount() const;

    // What went wrong beside the logins since the last call, one sentence each (the file of
    // trusted certificates could not be written): the login itself went on.
    QStringList TakeWarnings();

private:
    std::shared_ptr<FtpSessionShared> shared;
    InternetOptions options; // the owner's copy; the connections read the shared one
};
