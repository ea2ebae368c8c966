// FTP over TLS against the real server in both TLS modes, the trust decisions, and servers
// that break the handshake.
#include "inet/ftpfilefind.h"
#include "inet/internetfile.h"
#include "inet/tlsrunmemory.h"
#include "inet/tlstruststore.h"
#include "tests/fixtures/fakeftpserver.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/inet/inettesting.h"

#include <QFile>

#include <atomic>

using namespace std::chrono_literals;

namespace {

// Answers every certificate question with `answer` and records what was asked and how
// many passwords the server had received by then.
struct CertificateQuestions
{
    TlsTrustAnswer answer = TlsTrustAnswer::TrustOnce;
    const CFtpServerFixture* server = nullptr;
    std::vector<TlsCertificateInfo> asked;
    std::vector<int> passwordsSeen;

    CInternetSession::CertificateHook Hook()
    {
        return [this](const TlsCertificateInfo& certificate) {
            asked.push_back(certificate);
            passwordsSeen.push_back(server ? server->CountCommands(QStringLiteral("PASS")) : 0);
            return answer;
        };
    }
};

// Logs in over explicit TLS, the fixture's certificate trusted for this run only.
std::unique_ptr<CFtpConnection> LoginTrustingOnce(CInternetSession& session,
                                                  const CFtpServerFixture& server, bool passive)
{
    session.SetCertificateHook([](const TlsCertificateInfo&) { return TlsTrustAnswer::TrustOnce; });
    return session.GetFtpConnection(QStringLiteral("ftpes://") + server.Address(),
                                    CFtpServerFixture::kUser, CFtpServerFixture::kPassword, 0,
                                    passive);
}

QString Url(const char* scheme, const CFtpServerFixture& server)
{
    return QString::fromLatin1(scheme) + server.Address();
}

} // namespace

class CFtpTlsTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        explicitServer = new CFtpServerFixture(FixtureTls::Explicit);
        implicitServer = new CFtpServerFixture(FixtureTls::Implicit);
    }
    static void TearDownTestSuite()
    {
        delete explicitServer;
        delete implicitServer;
    }
    void SetUp() override
    {
        ASSERT_TRUE(explicitServer->IsRunning() && implicitServer->IsRunning());
        explicitServer->ClearLog();
        implicitServer->ClearLog();
    }

    std::unique_ptr<CInternetSession> Session(CertificateQuestions& questions)
    {
        auto session = std::make_unique<CInternetSession>(TestOptions());
        session->SetCertificateHook(questions.Hook());
        return session;
    }

    static inline CFtpServerFixture* explicitServer = nullptr;
    static inline CFtpServerFixture* implicitServer = nullptr;
};

TEST_F(CFtpTlsTest, ListingsAndTransfersAreByteIdenticalInBothTlsModesAndDataModes)
{
    struct Case
    {
        const char* scheme;
        CFtpServerFixture* server;
        bool passive;
    };
    const Case cases[] = {
        {"ftpes://", explicitServer, true},
        {"ftpes://", explicitServer, false},
        {"ftps://", implicitServer, true},
        {"ftps://", implicitServer, false},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.scheme) + (c.passive ? " passive" : " active"));
        CertificateQuestions questions;
        std::unique_ptr<CInternetSession> session = Session(questions);
        std::unique_ptr<CFtpConnection> connection =
            session->GetFtpConnection(Url(c.scheme, *c.server), CFtpServerFixture::kUser,
                                      CFtpServerFixture::kPassword, 0, c.passive);
        EXPECT_TRUE(connection->SecurityName().startsWith(QLatin1String("TLS 1.")))
            << connection->SecurityName().toStdString();
        EXPECT_EQ(connection->IsPassive(), c.passive);

        const QString name = QStringLiteral("tls%1.bin").arg(++round);
        const QByteArray data = PatternBytes(300 * 1024 + round, round);
        Upload(*connection, name, data);
        QFile stored(c.server->Root() + QLatin1Char('/') + name);
        ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
        EXPECT_TRUE(stored.readAll() == data) << "the upload arrived changed";
        EXPECT_TRUE(Download(*connection, name) == data) << "the download came back changed";
        const std::vector<FtpListEntry> entries = ListAll(*connection);
        const FtpListEntry* entry = FindEntry(entries, name);
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->size, static_cast<quint64>(data.size()));
        // Still in step after three data connections.
        EXPECT_TRUE(connection->SetCurrentDirectory(QStringLiteral("/")));
        connection->Close();
        EXPECT_EQ(c.server->CountCommands(QStringLiteral("PROT")), 1);
        EXPECT_EQ(c.server->CountCommands(QStringLiteral("AUTH")),
                  c.server == explicitServer ? 1 : 0);
        c.server->ClearLog();
    }
}

TEST_F(CFtpTlsTest, BareAddressUpgradesWhereOfferedAndFtpSchemeStaysPlain)
{
    CFtpServerFixture plainServer;
    struct Case
    {
        QString address;
        const CFtpServerFixture* server;
        bool encrypted;
    };
    const Case cases[] = {
        {explicitServer->Address(), explicitServer, true},
        {Url("ftp://", *explicitServer), explicitServer, false},
        {plainServer.Address(), &plainServer, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        explicitServer->ClearLog();
        CertificateQuestions questions;
        std::unique_ptr<CInternetSession> session = Session(questions);
        std::unique_ptr<CFtpConnection> connection = session->GetFtpConnection(
            c.address, CFtpServerFixture::kUser, CFtpServerFixture::kPassword, 0, true);
        EXPECT_EQ(!connection->SecurityName().isEmpty(), c.encrypted);
        EXPECT_EQ(questions.asked.size(), c.encrypted ? 1u : 0u);
        EXPECT_TRUE(!ListAll(*connection).empty() || c.server == &plainServer);
        connection->Close();
        // ftp:// never even asks for TLS.
        if (c.server == explicitServer) {
            EXPECT_EQ(explicitServer->CountCommands(QStringLiteral("AUTH")), c.encrypted ? 1 : 0);
        }
    }
}

TEST_F(CFtpTlsTest, UnknownCertificateIsAskedAboutBeforeThePasswordAndTrustIsKept)
{
    CertificateQuestions questions;
    questions.answer = TlsTrustAnswer::TrustAlways;
    questions.server = explicitServer;
    std::unique_ptr<CInternetSession> session = Session(questions);
    session
        ->GetFtpConnection(explicitServer->Address(), CFtpServerFixture::kUser,
                           CFtpServerFixture::kPassword)
        ->Close();
    ASSERT_EQ(questions.asked.size(), 1u);
    const TlsCertificateInfo& asked = questions.asked.front();
    EXPECT_EQ(questions.passwordsSeen.front(), 0);
    EXPECT_EQ(asked.fingerprint, explicitServer->CertificateFingerprint());
    EXPECT_TRUE(asked.subject.contains(QLatin1String("127.0.0.1")));
    EXPECT_FALSE(asked.problem.isEmpty());
    EXPECT_FALSE(asked.Changed());
    EXPECT_TRUE(asked.notAfter > asked.notBefore);

    // A new session (the program started again) finds the decision in the file.
    CertificateQuestions later;
    Session(later)->GetFtpConnection(Url("ftpes://", *explicitServer), CFtpServerFixture::kUser,
                                     CFtpServerFixture::kPassword);
    EXPECT_TRUE(later.asked.empty());
    EXPECT_EQ(CTlsTrustStore().Fingerprint(QStringLiteral("127.0.0.1"), explicitServer->Port()),
              explicitServer->CertificateFingerprint());
}

TEST_F(CFtpTlsTest, ConnectThisTimeOnlyHoldsForTheSessionAndSessionsSharingItsRun)
{
    CertificateQuestions questions;
    std::unique_ptr<CInternetSession> session = Session(questions);
    // Two connections at once, as a copy on the server or a folder level opens them.
    std::unique_ptr<CFtpConnection> first = session->GetFtpConnection(
        explicitServer->Address(), CFtpServerFixture::kUser, CFtpServerFixture::kPassword);
    std::unique_ptr<CFtpConnection> second = session->GetFtpConnection(
        explicitServer->Address(), CFtpServerFixture::kUser, CFtpServerFixture::kPassword);
    EXPECT_FALSE(second->SecurityName().isEmpty());
    EXPECT_EQ(questions.asked.size(), 1u);
    first->Close();
    second->Close();

    CertificateQuestions nextRun;
    nextRun.answer = TlsTrustAnswer::Refuse;
    EXPECT_EQ(KindThrown([&] {
                  Session(nextRun)->GetFtpConnection(explicitServer->Address(),
                                                     CFtpServerFixture::kUser,
                                                     CFtpServerFixture::kPassword);
              }),
              InetErrorKind::Security);
    EXPECT_EQ(nextRun.asked.size(), 1u);

    // Sessions given the same run memory (the program's reconnects, its digest side
    // connection) share the decision, even one with nobody to ask.
    InternetOptions options = TestOptions();
    options.tlsMemory = std::make_shared<CTlsRunMemory>();
    CertificateQuestions asker;
    CInternetSession asking(options);
    asking.SetCertificateHook(asker.Hook());
    asking
        .GetFtpConnection(explicitServer->Address(), CFtpServerFixture::kUser,
                          CFtpServerFixture::kPassword)
        ->Close();
    CInternetSession silent(options);
    EXPECT_NO_THROW(silent
                        .GetFtpConnection(explicitServer->Address(), CFtpServerFixture::kUser,
                                          CFtpServerFixture::kPassword)
                        ->Close());
    EXPECT_EQ(asker.asked.size(), 1u);
}

TEST_F(CFtpTlsTest, EveryProblemOfTheCertificateIsToldAtOnce)
{
    // The fixture's certificate is self-signed and made for 127.0.0.1: by another name it
    // has two problems, and the user hears of both.
    CertificateQuestions questions;
    questions.answer = TlsTrustAnswer::Refuse;
    EXPECT_EQ(KindThrown([&] {
                  Session(questions)->GetFtpConnection(
                      QStringLiteral("ftpes://localhost:%1").arg(explicitServer->Port()),
                      CFtpServerFixture::kUser, CFtpServerFixture::kPassword);
              }),
              InetErrorKind::Security);
    ASSERT_EQ(questions.asked.size(), 1u);
    const QString& problem = questions.asked.front().problem;
    EXPECT_TRUE(problem.contains(QLatin1String("self-signed"))) << problem.toStdString();
    EXPECT_TRUE(problem.contains(QLatin1String("another server name"))) << problem.toStdString();
}

TEST_F(CFtpTlsTest, PooledConnectionsAreReusedOnlyWithTheSecurityAskedFor)
{
    CertificateQuestions questions;
    std::unique_ptr<CInternetSession> session = Session(questions);
    const QString secure = Url("ftpes://", *explicitServer);
    session->GetFtpConnection(secure, CFtpServerFixture::kUser, CFtpServerFixture::kPassword)
        ->Close();
    ASSERT_EQ(session->PooledConnectionCount(), 1);
    // A plain request does not get the encrypted connection, nor the other way round.
    std::unique_ptr<CFtpConnection> plain = session->GetFtpConnection(
        Url("ftp://", *explicitServer), CFtpServerFixture::kUser, CFtpServerFixture::kPassword);
    EXPECT_TRUE(plain->SecurityName().isEmpty());
    EXPECT_EQ(session->PooledConnectionCount(), 1);
    std::unique_ptr<CFtpConnection> again =
        session->GetFtpConnection(secure, CFtpServerFixture::kUser, CFtpServerFixture::kPassword);
    EXPECT_FALSE(again->SecurityName().isEmpty());
    EXPECT_EQ(session->PooledConnectionCount(), 0);
    // The reused connection still carries data over TLS.
    explicitServer->MakeFile(QStringLiteral("pooled.txt"), "pooled");
    EXPECT_TRUE(Download(*again, QStringLiteral("pooled.txt")) == "pooled");
    EXPECT_EQ(explicitServer->CountCommands(QStringLiteral("AUTH")), 1);
}

TEST_F(CFtpTlsTest, ChangedCertificateWarnsAndARefusalSendsNoLogin)
{
    const QByteArray earlier(64, 'a');
    ASSERT_TRUE(
        CTlsTrustStore().Trust(QStringLiteral("127.0.0.1"), implicitServer->Port(), earlier));
    CertificateQuestions questions;
    questions.answer = TlsTrustAnswer::Refuse;
    EXPECT_EQ(KindThrown([&] {
                  Session(questions)->GetFtpConnection(Url("ftps://", *implicitServer),
                                                       CFtpServerFixture::kUser,
                                                       CFtpServerFixture::kPassword);
              }),
              InetErrorKind::Security);
    ASSERT_EQ(questions.asked.size(), 1u);
    EXPECT_TRUE(questions.asked.front().Changed());
    EXPECT_EQ(questions.asked.front().previousFingerprint, earlier);
    EXPECT_EQ(implicitServer->CountCommands(QStringLiteral("USER")), 0);
    EXPECT_EQ(implicitServer->CountCommands(QStringLiteral("PASS")), 0);
    // The refusal leaves the earlier decision as it was.
    EXPECT_EQ(CTlsTrustStore().Fingerprint(QStringLiteral("127.0.0.1"), implicitServer->Port()),
              earlier);
}

TEST_F(CFtpTlsTest, KnownTlsServerThatStopsOfferingEncryptionIsRefused)
{
    CFtpServerFixture plainServer;
    ASSERT_TRUE(CTlsTrustStore().Trust(QStringLiteral("127.0.0.1"), plainServer.Port(),
                                       QByteArray(64, 'b')));
    CertificateQuestions questions;
    try {
        Session(questions)->GetFtpConnection(plainServer.Address(), CFtpServerFixture::kUser,
                                             CFtpServerFixture::kPassword);
        ADD_FAILURE() << "logged in without encryption";
    } catch (const CInternetException& e) {
        EXPECT_EQ(e.Kind(), InetErrorKind::Security);
        EXPECT_TRUE(e.Message().contains(QLatin1String("stopped offering encryption")))
            << e.Message().toStdString();
    }
    EXPECT_EQ(plainServer.CountCommands(QStringLiteral("PASS")), 0);
    // ftpes:// to a server without TLS fails too; ftp:// is the user's explicit choice.
    EXPECT_EQ(KindThrown([&] {
                  Session(questions)->GetFtpConnection(Url("ftpes://", plainServer),
                                                       CFtpServerFixture::kUser,
                                                       CFtpServerFixture::kPassword);
              }),
              InetErrorKind::Security);
    EXPECT_EQ(plainServer.CountCommands(QStringLiteral("PASS")), 0);
    EXPECT_NO_THROW(Session(questions)->GetFtpConnection(
        Url("ftp://", plainServer), CFtpServerFixture::kUser, CFtpServerFixture::kPassword));
}

TEST(FtpTlsHandshake, ServersThatBreakTheHandshakeEndCleanlyWithinTheTimeOut)
{
    CFtpServerFixture plainServer; // answers a ClientHello with its plain-text greeting
    CFakeFtpServer garbage;
    garbage.On("AUTH", [](CFakeFtpServer::CSession& session, const QByteArray&) {
        session.Send("234 Go ahead.");
        session.SendRaw(QByteArray("\x16\x03\x01\xff\xffthis is no TLS at all\r\n", 28));
    });
    std::atomic<bool> stallRanOut{false}; // before the server, whose threads write it
    CFakeFtpServer stalled;
    stalled.On("AUTH", [&stallRanOut](CFakeFtpServer::CSession& session, const QByteArray&) {
        session.Send("234 Go ahead.");
        if (!HoldUntilClientLeaves(session))
            stallRanOut = true;
    });
    struct Case
    {
        const char* what;
        QString address;
        bool cancel;
        InetErrorKind kind;
    };
    const Case cases[] = {
        {"plain greeting to a ClientHello", Url("ftps://", plainServer), false,
         InetErrorKind::Security},
        {"garbage after AUTH TLS", QStringLiteral("ftpes://") + garbage.Address(), false,
         InetErrorKind::Security},
        {"silence after AUTH TLS", QStringLiteral("ftpes://") + stalled.Address(), false,
         InetErrorKind::Timeout},
        {"silence, and the user cancels", QStringLiteral("ftpes://") + stalled.Address(), true,
         InetErrorKind::Cancelled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CInternetSession session(TestOptions());
        session.SetCertificateHook(
            [](const TlsCertificateInfo&) { return TlsTrustAnswer::TrustOnce; });
        if (c.cancel)
            session.SetWaitHook([] { return false; });
        EXPECT_EQ(KindThrown([&] {
                      session.GetFtpConnection(c.address, QStringLiteral("user"),
                                               QStringLiteral("secret"));
                  }),
                  c.kind);
        // Ended by the connect time-out or the cancel, never by the server's stall.
        EXPECT_FALSE(stallRanOut);
    }
    EXPECT_EQ(garbage.Count("PASS") + stalled.Count("PASS"), 0);
}

TEST(FtpTlsSessionReuse, EveryDataConnectionResumesWithTheNewestTicketAlsoAfterAnAbort)
{
    // The server takes each TLS 1.3 ticket once and refuses a data connection that does
    // not resume: reusing the control connection's first ticket fails from the second
    // data connection on.
    for (const char* version : {"1.2", "1.3"}) {
        CFtpServerFixture server(FixtureTls::Explicit,
                                 {QStringLiteral("--tls-reuse-required"),
                                  QStringLiteral("--tls-max"), QString::fromLatin1(version)});
        ASSERT_TRUE(server.IsRunning());
        for (const bool passive : {true, false}) {
            SCOPED_TRACE(std::string("TLS ") + version + (passive ? " passive" : " active"));
            server.ClearLog();
            CInternetSession session(TestOptions());
            std::unique_ptr<CFtpConnection> connection =
                LoginTrustingOnce(session, server, passive);
            EXPECT_EQ(connection->SecurityName(), QStringLiteral("TLS ") + QLatin1String(version));
            const QByteArray data = PatternBytes(70000, passive ? 3 : 4);
            Upload(*connection, QStringLiteral("reuse.bin"), data);
            // Upload after upload: the ticket of an upload's data connection comes while
            // the client only writes, and must still be taken before the connection ends.
            Upload(*connection, QStringLiteral("small.bin"), PatternBytes(2000, 6));
            EXPECT_TRUE(Download(*connection, QStringLiteral("reuse.bin")) == data);
            EXPECT_TRUE(FindEntry(ListAll(*connection), QStringLiteral("reuse.bin")));
            EXPECT_TRUE(Download(*connection, QStringLiteral("reuse.bin")) == data);
            // A download given up half-way (the user's cancel) must not spoil the session
            // for the transfers after it. (In active mode this server ends an aborted data
            // connection without its close_notify and forgets the session itself: nothing
            // a client can keep.)
            if (passive) {
                server.MakeFile(QStringLiteral("big.bin"), PatternBytes(4 * 1024 * 1024, 5));
                std::unique_ptr<CInternetFile> file =
                    connection->OpenFile(QStringLiteral("big.bin"), FileAccess::Read);
                char block[1000];
                for (int i = 0; i < 50; ++i)
                    ASSERT_GT(file->Read(block, sizeof block), 0);
                EXPECT_NO_THROW(file->Close());
                EXPECT_EQ(server.CountCommands(QStringLiteral("ABOR")), 1);
            }
            EXPECT_TRUE(FindEntry(ListAll(*connection), QStringLiteral("reuse.bin")));
            EXPECT_TRUE(Download(*connection, QStringLiteral("reuse.bin")) == data);
            Upload(*connection, QStringLiteral("after.bin"), data);
            connection->Close();
            EXPECT_EQ(server.LogLines().filter(QStringLiteral(" DATA-TLS reused")).size(),
                      passive ? 9 : 8);
            EXPECT_EQ(server.LogLines().filter(QStringLiteral(" DATA-TLS new")).size(), 0);
        }
    }
}

TEST(FtpTlsSessionReuse, UploadsInARowKeepEveryDataConnectionResumed)
{
    // Two TLS 1.3 servers that require every data connection to resume and give no ticket
    // an upload can pass on: one gives tickets on the control connection only, each good for
    // many resumptions (as proftpd's mod_tls), so the newest session must stay on offer; the
    // other takes each ticket once and forgets the one an upload gave, so the connection it
    // refuses is opened again with the tickets its full handshake brought.
    struct Case
    {
        const char* flag;
        int refused; // data connections refused, and opened again
        int uploadsRefused;
    };
    const Case table[] = {{"--tls-data-no-tickets", 0, 0}, {"--tls-upload-no-ticket", 3, 2}};
    for (const Case& c : table) {
        SCOPED_TRACE(c.flag);
        CFtpServerFixture server(FixtureTls::Explicit, {QStringLiteral("--tls-reuse-required"),
                                                        QString::fromLatin1(c.flag)});
        ASSERT_TRUE(server.IsRunning());
        CInternetSession session(TestOptions());
        std::unique_ptr<CFtpConnection> connection = LoginTrustingOnce(session, server, true);
        EXPECT_EQ(connection->SecurityName(), QStringLiteral("TLS 1.3"));
        const QByteArray data = PatternBytes(30000, 8);
        for (int i = 0; i < 3; ++i)
            Upload(*connection, QStringLiteral("up%1.bin").arg(i), data);
        EXPECT_TRUE(FindEntry(ListAll(*connection), QStringLiteral("up2.bin")));
        EXPECT_TRUE(Download(*connection, QStringLiteral("up2.bin")) == data);
        connection->Close();
        EXPECT_EQ(server.LogLines().filter(QStringLiteral(" DATA-TLS new")).size(), c.refused);
        EXPECT_EQ(server.LogLines().filter(QStringLiteral(" DATA-TLS reused")).size(), 5);
        EXPECT_EQ(server.CountCommands(QStringLiteral("STOR")), 3 + c.uploadsRefused);
    }
}

TEST(FtpTlsDataEnd, OnlyACloseNotifyEndsTlsDataCleanlyAndACutListingIsNoListing)
{
    // Without a size to hold a download to, a TLS data connection that merely closed may
    // have been cut short on the way: the file tells the two ends apart.
    for (const bool cut : {false, true}) {
        SCOPED_TRACE(cut ? "cut" : "close_notify");
        CFtpServerFixture server(FixtureTls::Explicit,
                                 cut ? QStringList{QStringLiteral("--tls-data-cut")}
                                     : QStringList{});
        ASSERT_TRUE(server.IsRunning());
        const QByteArray data = PatternBytes(5000, 7);
        QFile stored(server.Root() + QStringLiteral("/end.bin"));
        ASSERT_TRUE(stored.open(QIODevice::WriteOnly) && stored.write(data) == data.size());
        stored.close();
        CInternetSession session(TestOptions());
        std::unique_ptr<CFtpConnection> connection = LoginTrustingOnce(session, server, true);
        std::unique_ptr<CInternetFile> file =
            connection->OpenFile(QStringLiteral("end.bin"), FileAccess::Read);
        QByteArray got;
        char buffer[1000];
        for (qint64 n; (n = file->Read(buffer, sizeof buffer)) > 0;)
            got.append(buffer, n);
        EXPECT_TRUE(got == data);
        EXPECT_EQ(file->EndedCleanly(), !cut);
        file->Close();
        // A listing has no size to hold it to: cut, it is a failed read, never a short list.
        // The connection stays in step for the next command.
        CFtpFileFind find(*connection);
        EXPECT_EQ(find.FindFile(), !cut);
        EXPECT_EQ(find.LastError().has_value(), cut);
        if (find.LastError()) {
            EXPECT_EQ(find.LastError()->Kind(), InetErrorKind::DataConnection);
        }
        find.Close();
        EXPECT_TRUE(connection->SetCurrentDirectory(QStringLiteral("/")));
    }
}
