// What a real server won't do, played by the scripted fake server: refused modes, foreign
// addresses, stalls, drops, malformed replies, hostile names.
#include "tests/fixtures/fakeftpserver.h"
#include "tests/inet/inettesting.h"

#include "inet/internetfile.h"

#include <unistd.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using CSession = CFakeFtpServer::CSession;

namespace {

// Keeps a transfer hanging until the client sends ABOR, then answers it as RFC 959 says.
// The limit is a backstop far beyond any time-out a test sets: false when it ran out, that
// is when the client did not give up by itself.
bool HoldUntilAbort(CSession& s, int data = -1)
{
    const Clock::time_point until = Clock::now() + 20s;
    while (s.IsOpen() && !s.server.Stopping() && Clock::now() < until) {
        const QByteArray line = s.ReadCommand(100ms);
        if (line.toUpper().startsWith("ABOR")) {
            if (data >= 0)
                close(data);
            s.Send("426 Transfer aborted.");
            s.Send("226 ABOR done.");
            return true;
        }
    }
    if (data >= 0)
        close(data);
    return false;
}

} // namespace

class CFakeServerTest : public testing::Test
{
protected:
    std::unique_ptr<CFtpConnection> Get(bool passive = false)
    {
        return session.GetFtpConnection(fake.Address(), QStringLiteral("u"), QStringLiteral("p"), 0,
                                        passive);
    }
    void SetOptions(const std::function<void(InternetOptions&)>& change)
    {
        InternetOptions options = TestOptions();
        change(options);
        session.SetOptions(options);
    }

    // Set by a server handler whose hold ran out: the client did not give up by itself.
    // Declared before the server, whose threads may write it until the server is gone.
    std::atomic<bool> holdRanOut{false};
    CFakeFtpServer fake;
    CInternetSession session{TestOptions()};
};

TEST_F(CFakeServerTest, RefusedPortAndEprtTurnTheConnectionPassive)
{
    fake.SetFeatures({" EPRT"});
    fake.On("EPRT", [](CSession& s, const QByteArray&) { s.Send("500 EPRT refused."); });
    fake.On("PORT", [](CSession& s, const QByteArray&) { s.Send("500 PORT refused."); });
    const QByteArray data = PatternBytes(300000);
    fake.SetFile("/f.bin", data);
    std::unique_ptr<CFtpConnection> c = Get();
    EXPECT_TRUE(Download(*c, QStringLiteral("/f.bin")) == data);
    EXPECT_TRUE(c->IsPassive());
    EXPECT_TRUE(Download(*c, QStringLiteral("/f.bin")) == data);
    EXPECT_EQ(fake.Count("EPRT"), 1);
    EXPECT_EQ(fake.Count("PORT"), 1);
    EXPECT_EQ(fake.Count("PASV"), 2);
    EXPECT_EQ(fake.Count("TYPE"), 1); // sent only when the type changes
}

TEST_F(CFakeServerTest, NobodyConnectingInActiveModeTurnsTheConnectionPassive)
{
    // Only the accept time-out can end the wait before the server's hold runs out.
    SetOptions([](InternetOptions& o) {
        o.acceptTimeout = 300ms;
        o.connectTimeout = o.replyTimeout = o.dataTimeout = 60s;
    });
    fake.On("RETR", [this](CSession& s, const QByteArray&) {
        if (!s.passive) {
            s.Send("150 Opening data connection."); // and never connects
            if (!HoldUntilAbort(s))
                holdRanOut = true;
            return;
        }
        s.Send("150 Opening data connection.");
        const int data = s.OpenData();
        s.SendData(data, "passive data");
        close(data);
        s.Send("226 Done.");
    });
    std::unique_ptr<CFtpConnection> c = Get();
    EXPECT_EQ(Download(*c, QStringLiteral("/f")), "passive data");
    EXPECT_FALSE(holdRanOut);
    EXPECT_TRUE(c->IsPassive());
    EXPECT_EQ(fake.Count("ABOR"), 1);
}

TEST_F(CFakeServerTest, APassiveReplysAddressIsNotUsed)
{
    fake.On("PASV", [](CSession& s, const QByteArray&) {
        const quint16 port = s.ListenPassive(); // on 127.0.0.1 only
        s.Send("227 Entering Passive Mode (127,0,0,2," + QByteArray::number(port >> 8) + ',' +
               QByteArray::number(port & 0xFF) + ").");
    });
    fake.SetFile("/f", "through the control connection's peer");
    std::unique_ptr<CFtpConnection> c = Get(true);
    EXPECT_EQ(Download(*c, QStringLiteral("/f")), "through the control connection's peer");
}

TEST_F(CFakeServerTest, AnActiveDataConnectionFromAnotherAddressIsRefused)
{
    fake.On("RETR", [](CSession& s, const QByteArray&) {
        s.Send("150 Opening data connection.");
        const int intruder = s.OpenData("127.0.0.2");
        s.SendData(intruder, "EVIL");
        close(intruder);
        const int data = s.OpenData("127.0.0.1");
        s.SendData(data, "GOOD");
        close(data);
        s.Send("226 Done.");
    });
    std::unique_ptr<CFtpConnection> c = Get();
    EXPECT_EQ(Download(*c, QStringLiteral("/f")), "GOOD");
    EXPECT_FALSE(c->IsPassive());
}

TEST_F(CFakeServerTest, AServerThatStopsInTheMiddleOfAReplyTimesOut)
{
    // Only the reply time-out can end the wait before the server's hold runs out.
    SetOptions([](InternetOptions& o) {
        o.replyTimeout = 300ms;
        o.connectTimeout = o.dataTimeout = o.acceptTimeout = 60s;
    });
    fake.On("CWD", [this](CSession& s, const QByteArray&) {
        s.Send("250-Changing");
        if (!HoldUntilClientLeaves(s))
            holdRanOut = true;
    });
    std::unique_ptr<CFtpConnection> c = Get();
    EXPECT_EQ(KindThrown([&] { c->Command(QStringLiteral("CWD /x"), false); }),
              InetErrorKind::Timeout);
    EXPECT_FALSE(holdRanOut);
    EXPECT_FALSE(c->IsOpen());
    EXPECT_FALSE(c->SetCurrentDirectory(QStringLiteral("/x")));
    EXPECT_EQ(KindThrown([&] { c->OpenFile(QStringLiteral("/f"), FileAccess::Read); }),
              InetErrorKind::Closed);
    EXPECT_EQ(fake.Count("CWD"), 1); // the lost connection sends nothing more

    fake.OnConnect([this](CSession& s) {
        s.Send("220-Hello");
        if (!HoldUntilClientLeaves(s))
            holdRanOut = true;
    });
    EXPECT_EQ(KindThrown([&] { Get(); }), InetErrorKind::Timeout);
    EXPECT_FALSE(holdRanOut);
}

TEST_F(CFakeServerTest, AWaitHookIsAskedThroughoutAWaitAndItsFirstStopCancels)
{
    SetOptions([](InternetOptions& o) { o.connectTimeout = o.replyTimeout = 60s; });
    fake.OnConnect([this](CSession& s) { // no greeting at all
        if (!HoldUntilClientLeaves(s))
            holdRanOut = true;
    });
    int calls = 0;
    // Asked again while nothing comes (about every 50 ms), until it says stop.
    session.SetWaitHook([&] { return ++calls <= 3; });
    EXPECT_EQ(KindThrown([&] { Get(); }), InetErrorKind::Cancelled);
    EXPECT_EQ(calls, 4);
    EXPECT_FALSE(holdRanOut);
}

TEST_F(CFakeServerTest, AStopDuringADownloadAbortsItAndKeepsTheConnection)
{
    fake.On("RETR", [this](CSession& s, const QByteArray&) {
        s.Send("150 Opening data connection.");
        const int data = s.OpenData();
        s.SendData(data, QByteArray(1000, 'x'));
        if (!HoldUntilAbort(s, data))
            holdRanOut = true;
    });
    std::unique_ptr<CFtpConnection> c = Get();
    std::unique_ptr<CInternetFile> file = c->OpenFile(QStringLiteral("/f"), FileAccess::Read);
    char block[1000];
    ASSERT_EQ(file->Read(block, sizeof block), 1000);
    bool stop = false;
    session.SetWaitHook([&] { return !stop; });
    stop = true;
    EXPECT_EQ(KindThrown([&] { file->Read(block, sizeof block); }), InetErrorKind::Cancelled);
    file.reset();
    stop = false;
    EXPECT_EQ(fake.Count("ABOR"), 1);
    EXPECT_FALSE(holdRanOut);
    EXPECT_TRUE(c->IsOpen());
    EXPECT_TRUE(c->SetCurrentDirectory(QStringLiteral("/")));
}

TEST_F(CFakeServerTest, AStalledDataConnectionTimesOutAndKeepsTheConnection)
{
    // Only the data time-out can end the wait before the server's hold runs out.
    SetOptions([](InternetOptions& o) {
        o.dataTimeout = 300ms;
        o.connectTimeout = o.replyTimeout = o.acceptTimeout = 60s;
    });
    fake.On("RETR", [this](CSession& s, const QByteArray&) {
        s.Send("150 Opening data connection.");
        if (!HoldUntilAbort(s, s.OpenData()))
            holdRanOut = true;
    });
    std::unique_ptr<CFtpConnection> c = Get();
    EXPECT_EQ(KindThrown([&] { Download(*c, QStringLiteral("/f")); }), InetErrorKind::Timeout);
    EXPECT_FALSE(holdRanOut);
    EXPECT_TRUE(c->SetCurrentDirectory(QStringLiteral("/")));
}

TEST_F(CFakeServerTest, ATransferTheServerReportsFailedIsNoSuccess)
{
    fake.On("RETR", [](CSession& s, const QByteArray&) {
        s.Send("150 Opening data connection.");
        const int data = s.OpenData();
        s.SendData(data, "part of it");
        close(data);
        s.Send("426 Connection lost; transfer aborted.");
    });
    fake.On("STOR", [](CSession& s, const QByteArray&) {
        s.Send("150 Ready.");
        const int data = s.OpenData();
        s.ReceiveData(data);
        close(data);
        s.Send("552 Disk full.");
    });
    std::unique_ptr<CFtpConnection> c = Get();
    for (const FileAccess access : {FileAccess::Read, FileAccess::Write}) {
        try {
            if (access == FileAccess::Read)
                Download(*c, QStringLiteral("/f"));
            else
                Upload(*c, QStringLiteral("/f"), PatternBytes(5000));
            ADD_FAILURE() << "a failed transfer passed";
        } catch (const CInternetException& e) {
            EXPECT_EQ(e.Kind(), InetErrorKind::Reply);
            EXPECT_EQ(e.ReplyCode(), access == FileAccess::Read ? 426 : 552);
            EXPECT_TRUE(e.Message().contains(access == FileAccess::Read
                                                 ? QStringLiteral("aborted")
                                                 : QStringLiteral("Disk full")));
        }
    }
    EXPECT_TRUE(c->SetCurrentDirectory(QStringLiteral("/")));
}

TEST_F(CFakeServerTest, MalformedRepliesEndInACleanException)
{
    struct Case
    {
        const char* what;
        QByteArray greeting;
        InetErrorKind kind;
    };
    QByteArray endless = "220-Welcome\r\n";
    for (int i = 0; i < 1100; ++i)
        endless += "220-and more\r\n";
    const Case cases[] = {
        {"no code", "Hello there\r\n", InetErrorKind::Protocol},
        {"two digits", "22 Hello\r\n", InetErrorKind::Protocol},
        {"endless multi-line reply", endless, InetErrorKind::Protocol},
        {"endless line", "220 " + QByteArray(100 * 1024, 'x'), InetErrorKind::Protocol},
        {"busy server", "421 Too many users.\r\n", InetErrorKind::Connect},
    };
    for (const Case& c : cases) {
        std::atomic<bool> heldOut{false}; // before the server, whose thread writes it
        CFakeFtpServer server;
        const QByteArray greeting = c.greeting;
        // Held until the client gives up on what it read: it must not wait for more.
        server.OnConnect([greeting, &heldOut](CSession& s) {
            s.SendRaw(greeting);
            if (!HoldUntilClientLeaves(s))
                heldOut = true;
        });
        CInternetSession own(TestOptions());
        EXPECT_EQ(KindThrown([&] {
                      own.GetFtpConnection(server.Address(), QStringLiteral("u"),
                                           QStringLiteral("p"));
                  }),
                  c.kind)
            << c.what;
        EXPECT_FALSE(heldOut) << c.what;
    }
}

TEST_F(CFakeServerTest, HostileNamesInAListingAreSkipped)
{
    static const char listing[] = "-rw-r--r-- 1 u g 1 Mar 4 2021 ../evil\r\n"
                                  "-rw-r--r-- 1 u g 1 Mar 4 2021 a/b\r\n"
                                  "-rw-r--r-- 1 u g 1 Mar 4 2021 \r\n"
                                  "-rw-r--r-- 1 u g 1 Mar 4 2021 bell\x07\r\n"
                                  "-rw-r--r-- 1 u g 1 Mar 4 2021 nul\0x\r\n"
                                  "drwxr-xr-x 2 u g 1 Mar 4 2021 ..\r\n"
                                  "-rw-r--r-- 1 u g 2 Mar 4 2021 ok.txt\r\n";
    fake.SetListing(QByteArray(listing, sizeof listing - 1));
    std::unique_ptr<CFtpConnection> c = Get();
    CFtpFileFind find(*c);
    ASSERT_TRUE(find.FindFile());
    std::vector<QString> names;
    std::vector<bool> dots;
    for (bool more = true; more;) {
        more = find.FindNextFile();
        names.push_back(find.GetFileName());
        dots.push_back(find.IsDots());
    }
    EXPECT_EQ(names, (std::vector<QString>{QStringLiteral(".."), QStringLiteral("ok.txt")}));
    EXPECT_EQ(dots, (std::vector<bool>{true, false}));
}

TEST_F(CFakeServerTest, ANameThatIsNotUtf8GoesBackByteForByteOnAnyConnection)
{
    fake.SetListing("-rw-r--r-- 1 u g 4 Mar 4 2021 caf\xe9\r\n"
                    "-rw-r--r-- 1 u g 4 Mar 4 2021 Bob\x92s \x80.doc\r\n");
    fake.SetFile("caf\xe9", "data");
    fake.SetFile("Bob\x92s \x80.doc", "more");
    std::unique_ptr<CFtpConnection> first = Get();
    std::unique_ptr<CFtpConnection> second = Get(); // the first is still open
    const std::vector<FtpListEntry> entries = ListAll(*first);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, QStringLiteral("café"));
    EXPECT_EQ(entries[1].name, QStringLiteral("Bob’s €.doc"));
    EXPECT_EQ(Download(*second, entries[0].name), "data");
    EXPECT_EQ(Download(*second, entries[1].name), "more");
    EXPECT_TRUE(fake.Commands().contains("RETR caf\xe9"));
    EXPECT_TRUE(fake.Commands().contains("RETR Bob\x92s \x80.doc"));
    EXPECT_EQ(fake.Count("USER"), 2);
}

TEST_F(CFakeServerTest, AServerThatHangsUpClosesTheConnection)
{
    fake.On("CWD", [](CSession& s, const QByteArray&) { s.Close(); });
    std::unique_ptr<CFtpConnection> c = Get();
    EXPECT_FALSE(c->SetCurrentDirectory(QStringLiteral("/x")));
    EXPECT_FALSE(c->IsOpen());
    EXPECT_EQ(KindThrown([&] { c->Command(QStringLiteral("NOOP"), false); }),
              InetErrorKind::Closed);
}

TEST_F(CFakeServerTest, APooledConnectionThatDiedIsReplacedByAFreshLogin)
{
    std::unique_ptr<CFtpConnection> first = Get();
    fake.On("CWD", [](CSession& s, const QByteArray&) { s.Close(); });
    first->Close();
    ASSERT_EQ(session.PooledConnectionCount(), 1);
    std::unique_ptr<CFtpConnection> second = Get();
    EXPECT_TRUE(second->IsOpen());
    EXPECT_EQ(fake.Count("USER"), 2);
    EXPECT_EQ(session.PooledConnectionCount(), 0);
}

TEST_F(CFakeServerTest, StatFallsBackToTheParentsListing)
{
    fake.SetListing("drwxr-xr-x 2 u g 0 Mar 4 2021 folder\r\n"
                    "-rw-r--r-- 1 u g 42 Mar 4 2021 file.txt\r\n");
    std::unique_ptr<CFtpConnection> c = Get();
    const std::optional<FtpStat> folder = c->Stat(QStringLiteral("/pub/folder"));
    ASSERT_TRUE(folder);
    EXPECT_TRUE(folder->isDirectory);
    const std::optional<FtpStat> file = c->Stat(QStringLiteral("file.txt"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size, 42u);
    EXPECT_FALSE(c->Stat(QStringLiteral("missing")));
    EXPECT_TRUE(fake.Commands().contains("LIST -a /pub"));
}

TEST_F(CFakeServerTest, ARenameOnlyOfLetterCaseWorksWhereTheServerIgnoresCase)
{
    fake.SetFeatures({" SIZE"});
    fake.SetListing("-rw-r--r-- 1 u g 1 Mar 4 2021 a.txt\r\n"
                    "-rw-r--r-- 1 u g 1 Mar 4 2021 b.txt\r\n");
    fake.On("SIZE", [](CSession& s, const QByteArray& path) {
        const QByteArray name = path.toLower();
        s.Send(name == "a.txt" || name == "b.txt" ? "213 1" : "550 No such file.");
    });
    fake.On("RNFR", [](CSession& s, const QByteArray&) { s.Send("350 Ready."); });
    fake.On("RNTO", [](CSession& s, const QByteArray&) { s.Send("250 Renamed."); });
    std::unique_ptr<CFtpConnection> c = Get();
    EXPECT_FALSE(c->Rename(QStringLiteral("a.txt"), QStringLiteral("B.TXT")));
    EXPECT_TRUE(c->Rename(QStringLiteral("b.txt"), QStringLiteral("B.TXT")));
    EXPECT_EQ(fake.Count("RNTO"), 1);
    EXPECT_TRUE(fake.Commands().contains("RNTO B.TXT"));
}

TEST_F(CFakeServerTest, ALoginThatOutlastsItsSessionStillGivesAWorkingConnection)
{
    // The greeting waits until the session is gone, however the threads are scheduled.
    std::atomic<bool> connected{false};
    std::atomic<bool> sessionGone{false};
    fake.OnConnect([&](CSession& s) {
        connected = true;
        for (int i = 0; i < 3000 && !sessionGone; ++i)
            std::this_thread::sleep_for(10ms);
        s.Send("220 Slow but ready.");
    });
    auto* own = new CInternetSession(TestOptions());
    const QString address = fake.Address();
    std::unique_ptr<CFtpConnection> late;
    std::thread worker([&late, own, address] {
        late = own->GetFtpConnection(address, QStringLiteral("u"), QStringLiteral("p"));
    });
    for (int i = 0; i < 3000 && !connected; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(connected);
    delete own; // the caller gave up waiting
    sessionGone = true;
    worker.join();
    ASSERT_TRUE(late);
    EXPECT_TRUE(late->SetCurrentDirectory(QStringLiteral("/")));
    late->Close();
    EXPECT_EQ(fake.Count("QUIT"), 1); // not pooled into the dead session
}

TEST_F(CFakeServerTest, ACommandBehindItsEpsvIsGivenUpWhereTheServerDoesNotTakeIt)
{
    fake.SetFeatures({" EPSV"});
    fake.On("EPSV", [](CSession& s, const QByteArray&) {
        s.Send("229 Entering Extended Passive Mode (|||" + QByteArray::number(s.ListenPassive()) +
               "|)");
    });
    const QByteArray data = PatternBytes(5000);
    std::atomic<int> retrieves{0};
    // The second RETR, the first sent behind its EPSV, finds no data connection yet.
    fake.On("RETR", [&retrieves, data](CSession& s, const QByteArray& path) {
        if (++retrieves == 2)
            s.Send("425 No data connection yet.");
        else if (path != "/f.bin")
            s.Send("550 No such file.");
        else
            s.Transfer(data);
    });
    std::unique_ptr<CFtpConnection> c = Get(true);
    EXPECT_TRUE(Download(*c, QStringLiteral("/f.bin")) == data);
    EXPECT_TRUE(Download(*c, QStringLiteral("/f.bin")) == data);
    EXPECT_EQ(fake.Count("EPSV"), 3);
    EXPECT_EQ(fake.Count("RETR"), 3);

    // Where the server takes it, a refusal of the command still comes as a refusal, and the
    // replies stay in step for the next transfer.
    retrieves = 10;
    std::unique_ptr<CFtpConnection> other = Get(true);
    EXPECT_TRUE(Download(*other, QStringLiteral("/f.bin")) == data);
    EXPECT_THROW(other->OpenFile(QStringLiteral("/missing"), FileAccess::Read), CInternetException);
    EXPECT_TRUE(Download(*other, QStringLiteral("/f.bin")) == data);
}

TEST_F(CFakeServerTest, RepliesTheServerSentUnaskedAreNotTakenForTheNextAnswer)
{
    // A late 426 of an abort, and a reply cut in two, behind the answer they follow.
    const QByteArray strays[] = {"426 Internal error; transfer aborted.\r\n",
                                 "421-Still here\r\n421 and closing.\r\n"};
    for (const QByteArray& stray : strays) {
        SCOPED_TRACE(stray.toStdString());
        CFakeFtpServer server;
        // In one write, so that the stray is there before the next command goes out.
        server.On("CWD", [&stray](CSession& s, const QByteArray&) {
            s.SendRaw("250 Changed.\r\n" + stray);
        });
        server.On("MKD", [](CSession& s, const QByteArray&) { s.Send("257 \"/b\" made."); });
        CInternetSession local(TestOptions());
        std::unique_ptr<CFtpConnection> c = local.GetFtpConnection(
            server.Address(), QStringLiteral("u"), QStringLiteral("p"), 0, true);
        ASSERT_TRUE(c->SetCurrentDirectory(QStringLiteral("/a")));
        if (stray.startsWith("421")) {
            // A server that says it is closing has gone: the next command fails as closed.
            EXPECT_FALSE(c->CreateDirectory(QStringLiteral("/b")));
            EXPECT_FALSE(c->IsOpen());
        } else {
            EXPECT_TRUE(c->CreateDirectory(QStringLiteral("/b")));
            EXPECT_EQ(server.Count("MKD"), 1);
        }
    }
}
