// How the library copes with servers in the field, played by the scripted fake server where
// a real server will not do it on demand.
#include "tests/fixtures/fakeftpserver.h"
#include "tests/fixtures/qtprint.h"
#include "tests/inet/inettesting.h"

#include "inet/ftpsocket.h"
#include "inet/internetexception.h"
#include "inet/internetfile.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

using namespace std::chrono_literals;
using CSession = CFakeFtpServer::CSession;

class CServerQuirksTest : public testing::Test
{
protected:
    std::unique_ptr<CFtpConnection> Get(bool passive = true)
    {
        return session.GetFtpConnection(fake.Address(), QStringLiteral("u"), QStringLiteral("p"), 0,
                                        passive);
    }

    CFakeFtpServer fake;
    CInternetSession session{TestOptions()};
};

TEST_F(CServerQuirksTest, LinksAreAskedWhatTheyLeadTo)
{
    struct Case
    {
        const char* what;
        QList<QByteArray> features;
        QByteArray listingVerb;
        QByteArray listing;
        QString expected;
    };
    const Case cases[] = {
        {"MLSD and MLST",
         {" MLST type*;size*;modify*;"},
         "MLSD",
         "type=OS.unix=slink:/srv/a; tofolder\r\ntype=OS.unix=slink:/srv/b; tofile\r\n"
         "type=OS.unix=slink:/srv/c; nowhere\r\n",
         QStringLiteral("tofolder:folder tofile:file nowhere:")},
        {"LIST, SIZE and CWD",
         {" SIZE"},
         "LIST",
         "lrwxrwxrwx 1 u g 1 Mar 4 2021 tofolder -> a\r\n"
         "lrwxrwxrwx 1 u g 1 Mar 4 2021 tofile -> b\r\n"
         "lrwxrwxrwx 1 u g 1 Mar 4 2021 nowhere -> c\r\n",
         QStringLiteral("tofolder:folder tofile:file nowhere:file")},
        {"LIST and CWD",
         {},
         "LIST",
         "lrwxrwxrwx 1 u g 1 Mar 4 2021 tofolder -> a\r\n"
         "lrwxrwxrwx 1 u g 1 Mar 4 2021 tofile -> b\r\n"
         "lrwxrwxrwx 1 u g 1 Mar 4 2021 nowhere -> c\r\n",
         QStringLiteral("tofolder:folder tofile:file nowhere:file")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFakeFtpServer server;
        server.SetFeatures(c.features);
        const QByteArray listing = c.listing;
        server.On(c.listingVerb,
                  [listing](CSession& s, const QByteArray&) { s.Transfer(listing); });
        server.On("MLST", [](CSession& s, const QByteArray& path) {
            if (path == "tofolder")
                s.SendRaw("250-Listing\r\n type=dir; /srv/a\r\n250 End\r\n");
            else if (path == "tofile")
                s.SendRaw("250-Listing\r\n type=file;size=3; /srv/b\r\n250 End\r\n");
            else
                s.Send("550 No such file.");
        });
        server.On("SIZE", [](CSession& s, const QByteArray& path) {
            s.Send(path == "tofile" ? "213 3" : "550 Not a plain file.");
        });
        server.On("PWD", [](CSession& s, const QByteArray&) { s.Send("257 \"/srv\""); });
        server.On("CWD", [](CSession& s, const QByteArray& path) {
            s.Send(path == "tofolder" || path == "/srv" ? "250 Ok." : "550 Not a folder.");
        });
        CInternetSession own(TestOptions());
        std::unique_ptr<CFtpConnection> connection =
            own.GetFtpConnection(server.Address(), QStringLiteral("u"), QStringLiteral("p"));
        CFtpFileFind find(*connection);
        ASSERT_TRUE(find.FindFile());
        QStringList seen;
        for (bool more = true; more;) {
            more = find.FindNextFile();
            EXPECT_TRUE(find.IsLink());
            seen << QStringLiteral("%1:%2%3")
                        .arg(find.GetFileName())
                        .arg(find.IsDirectory() ? "folder" : "")
                        .arg(find.IsNormal() ? "file" : "");
        }
        EXPECT_EQ(seen.join(QLatin1Char(' ')), c.expected);
        // A CWD into a link went back to where the connection was.
        const QList<QByteArray> commands = server.Commands();
        if (commands.contains("CWD tofolder")) {
            EXPECT_EQ(commands.at(commands.indexOf("CWD tofolder") + 1), "CWD /srv");
        }
    }
}

TEST_F(CServerQuirksTest, AnUploadThatDidNotCloseIsBrokenOffNeverEnded)
{
    std::atomic<int> cleanEnds{0}, resets{0};
    fake.On("STOR", [&](CSession& s, const QByteArray&) {
        s.Send("150 Ready for data.");
        const int data = s.OpenData();
        QByteArray content;
        const bool clean = s.ReceiveDataUntilEnd(data, content);
        close(data);
        ++(clean ? cleanEnds : resets);
        s.Send(clean ? "226 Stored." : "426 Connection broken.");
    });
    const QByteArray block(1000, 'u');
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "destroyed without Close");
        std::unique_ptr<CFtpConnection> c = Get();
        {
            std::unique_ptr<CInternetFile> file =
                c->OpenFile(QStringLiteral("/up.bin"), FileAccess::Write);
            file->Write(block.constData(), block.size());
            if (cancel) {
                session.SetWaitHook([] { return false; });
                // The hook is asked about every 50 ms while the data flows.
                try {
                    for (int i = 0; i < 200000; ++i)
                        file->Write(block.constData(), block.size());
                    ADD_FAILURE() << "the upload was not stopped";
                } catch (const CInternetException& e) {
                    EXPECT_EQ(e.Kind(), InetErrorKind::Cancelled);
                }
                session.SetWaitHook({});
            }
        }
        QString directory;
        EXPECT_TRUE(c->GetCurrentDirectory(directory));
        EXPECT_EQ(directory, QStringLiteral("/"));
    }
    EXPECT_EQ(cleanEnds, 0);
    EXPECT_EQ(resets, 2);
    EXPECT_EQ(fake.Count("ABOR"), 2);
}

TEST_F(CServerQuirksTest, EveryOrderOfRepliesAroundAbortKeepsTheConnectionInStep)
{
    struct Case
    {
        const char* what;
        bool endedFirst;           // the server sent all, closed the data connection and said 226
        QList<QByteArray> replies; // to ABOR
        bool dropsInput;           // throws away what came with ABOR
    };
    const Case cases[] = {
        {"426 then 226", false, {"426 Transfer aborted.", "226 Abort successful."}, false},
        {"426 alone", false, {"426 Transfer aborted."}, false},
        {"one 226 for both", false, {"226 Abort successful."}, false},
        {"ended, then 226", true, {"226 Abort successful."}, false},
        {"ended, then 225", true, {"225 No transfer to abort."}, false},
        {"426 then a multi-line 226, input dropped",
         false,
         {"426 ABORT", "226-Transfer aborted", "226 0.001 seconds"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFakeFtpServer server;
        server.On("RETR", [&c](CSession& s, const QByteArray&) {
            s.Send("150 Opening data connection.");
            int data = s.OpenData();
            s.SendData(data, PatternBytes(c.endedFirst ? 5000 : 2000));
            if (c.endedFirst) {
                close(data);
                data = -1;
                s.Send("226 Transfer complete.");
            }
            for (int i = 0; i < 50 && s.IsOpen(); ++i) {
                if (!s.ReadCommand(100ms).toUpper().startsWith("ABOR"))
                    continue;
                if (c.dropsInput)
                    s.DiscardInput(100ms);
                if (data >= 0)
                    close(data);
                for (const QByteArray& line : c.replies)
                    s.Send(line);
                return;
            }
        });
        CInternetSession own(TestOptions());
        std::unique_ptr<CFtpConnection> connection = own.GetFtpConnection(
            server.Address(), QStringLiteral("u"), QStringLiteral("p"), 0, true);
        for (int round = 0; round < 2; ++round) {
            std::unique_ptr<CInternetFile> file =
                connection->OpenFile(QStringLiteral("/f"), FileAccess::Read);
            char block[1000];
            ASSERT_EQ(file->Read(block, sizeof block), 1000);
            file->Close();
            // The next command gets its own reply.
            QString directory;
            ASSERT_TRUE(connection->GetCurrentDirectory(directory));
            EXPECT_EQ(directory, QStringLiteral("/"));
        }
        EXPECT_EQ(server.Count("ABOR"), 2);
    }
}

TEST_F(CServerQuirksTest, ARefusalAfterAPreliminaryReplyEndsTheWaitForTheServersConnection)
{
    InternetOptions options = TestOptions();
    options.acceptTimeout = 5000ms;
    session.SetOptions(options);
    fake.On("RETR", [](CSession& s, const QByteArray&) {
        if (!s.passive) {
            s.Send("150 Opening data connection.");
            s.Send("425 Cannot open data connection."); // and never connects
            return;
        }
        s.Transfer("passive data");
    });
    std::unique_ptr<CFtpConnection> c = Get(false);
    EXPECT_EQ(Download(*c, QStringLiteral("/f")), "passive data");
    EXPECT_TRUE(c->IsPassive());
    EXPECT_EQ(fake.Count("ABOR"), 0); // nothing was left to abort
}

TEST_F(CServerQuirksTest, AServerStuckInActiveModeIsLeftForAFreshConnectionInPassiveMode)
{
    InternetOptions options = TestOptions();
    options.acceptTimeout = 300ms;
    options.replyTimeout = 300ms;
    session.SetOptions(options);
    fake.On("RETR", [](CSession& s, const QByteArray&) {
        if (s.passive) {
            s.Transfer("passive data");
            return;
        }
        s.Send("150 Opening data connection.");
        // Stuck connecting: it answers nothing more on this connection.
        HoldUntilClientLeaves(s);
    });
    fake.On("CWD", [](CSession& s, const QByteArray& path) {
        s.Send(path == "/pub" ? "250 Ok." : "550 No such folder.");
    });
    fake.On("PWD", [](CSession& s, const QByteArray&) { s.Send("257 \"/pub\""); });
    std::unique_ptr<CFtpConnection> c = Get(false);
    EXPECT_EQ(Download(*c, QStringLiteral("f")), "passive data");
    EXPECT_TRUE(c->IsOpen());
    EXPECT_TRUE(c->IsPassive());
    EXPECT_EQ(fake.Count("USER"), 2);

    // Nothing of the lost connection is taken for the fresh one: it goes back where the
    // old one was and has its type set anew (else the file would come in the server's
    // default, ASCII).
    const QList<QByteArray> commands = fake.Commands();
    const QList<QByteArray> fresh = commands.mid(commands.lastIndexOf("USER u"));
    const auto at = [&fresh](const char* verb) {
        const auto found = std::find_if(fresh.begin(), fresh.end(), [verb](const QByteArray& line) {
            return line.startsWith(verb);
        });
        return found == fresh.end() ? -1 : found - fresh.begin();
    };
    const std::string sent = fresh.join(" | ").toStdString();
    EXPECT_GE(at("CWD /pub"), 0) << sent;
    EXPECT_GE(at("TYPE I"), 0) << sent;
    EXPECT_LT(at("TYPE I"), at("RETR")) << sent;
    // From now on the fresh connection is the one: no further login, no further TYPE.
    EXPECT_EQ(Download(*c, QStringLiteral("f")), "passive data");
    EXPECT_EQ(fake.Count("USER"), 2);
    EXPECT_EQ(fake.Count("TYPE"), 2);
}

TEST_F(CServerQuirksTest, PassiveGoesFirstAndTheModeThatWorkedIsRememberedPerServer)
{
    InternetOptions options = TestOptions();
    options.preferActive = false;
    session.SetOptions(options);
    fake.On("PASV", [](CSession& s, const QByteArray&) { s.Send("500 Not here."); });
    fake.SetFile("/f", "data");
    std::unique_ptr<CFtpConnection> first = Get(false);
    EXPECT_EQ(Download(*first, QStringLiteral("/f")), "data");
    EXPECT_FALSE(first->IsPassive());
    std::unique_ptr<CFtpConnection> second = Get(false); // the first is still open
    EXPECT_FALSE(second->IsPassive());
    EXPECT_EQ(Download(*second, QStringLiteral("/f")), "data");
    EXPECT_EQ(fake.Count("PASV"), 1);
    EXPECT_EQ(fake.Count("USER"), 2);

    // Another session knows nothing of it.
    CInternetSession other(options);
    EXPECT_TRUE(other.GetFtpConnection(fake.Address(), QStringLiteral("u"), QStringLiteral("p"))
                    ->IsPassive());
}

TEST_F(CServerQuirksTest, AListingIsReadAsItComesAndOneThatCannotBeReadIsAnError)
{
    struct Case
    {
        const char* what;
        QByteArray listing;
        int entries;         // -1: an error
        InetErrorKind error; // when it is one
    };
    QByteArray many;
    for (int i = 0; i < 30; ++i)
        many += "-rw-r--r-- 1 u g 1 Mar 4 2021 f" + QByteArray::number(i) + "\r\n";
    const Case cases[] = {
        {"an empty folder", "", 0, {}},
        {"an empty folder by ls", "total 0\r\n", 0, {}},
        {"nothing readable", "this is not\r\na listing at all\r\n", -1, InetErrorKind::Protocol},
        {"one readable line among others",
         "garbage\r\n-rw-r--r-- 1 u g 1 Mar 4 2021 ok\r\n",
         1,
         {}},
        {"a line of 100 KiB is left out",
         "-rw-r--r-- 1 u g 1 Mar 4 2021 " + QByteArray(100 * 1024, 'x') +
             "\r\n-rw-r--r-- 1 u g 1 Mar 4 2021 after\r\n",
         1,
         {}},
        {"more entries than the limit", many, -1, InetErrorKind::Protocol},
    };
    InternetOptions options = TestOptions();
    options.listingEntryLimit = 20;
    session.SetOptions(options);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake.SetListing(c.listing);
        std::unique_ptr<CFtpConnection> connection = Get();
        CFtpFileFind find(*connection);
        int count = 0;
        for (bool more = find.FindFile(); more; ++count)
            more = find.FindNextFile();
        if (c.entries < 0) {
            ASSERT_TRUE(find.LastError());
            EXPECT_EQ(find.LastError()->Kind(), c.error);
        } else {
            EXPECT_FALSE(find.LastError());
            EXPECT_EQ(count, c.entries);
        }
        find.Close();
        // Whatever the listing, the connection goes on.
        EXPECT_TRUE(connection->SetCurrentDirectory(QStringLiteral("/")));
    }
}

TEST_F(CServerQuirksTest, HiddenFilesAreAskedForWhereTheServerTakesListDashA)
{
    enum class Server { TakesIt, RefusesIt, ReadsItAsAName };
    for (const Server kind : {Server::TakesIt, Server::RefusesIt, Server::ReadsItAsAName}) {
        SCOPED_TRACE(static_cast<int>(kind));
        CFakeFtpServer server;
        server.On("LIST", [kind](CSession& s, const QByteArray& argument) {
            const QByteArray visible = "-rw-r--r-- 1 u g 1 Mar 4 2021 index.html\r\n";
            if (!argument.startsWith("-a"))
                s.Transfer(visible);
            else if (kind == Server::TakesIt)
                s.Transfer("-rw-r--r-- 1 u g 1 Mar 4 2021 .htaccess\r\n" + visible);
            else if (kind == Server::RefusesIt)
                s.Send("501 No options here.");
            else
                s.Transfer(""); // no file called "-a"
        });
        CInternetSession own(TestOptions());
        for (int connection = 0; connection < 2; ++connection) {
            std::unique_ptr<CFtpConnection> c =
                own.GetFtpConnection(server.Address(), QStringLiteral("u"), QStringLiteral("p"));
            const std::vector<FtpListEntry> entries = ListAll(*c);
            EXPECT_EQ(entries.size(), kind == Server::TakesIt ? 2u : 1u);
            EXPECT_EQ(FindEntry(entries, QStringLiteral(".htaccess")) != nullptr,
                      kind == Server::TakesIt);
        }
        // What the server does with "-a" is learned once.
        EXPECT_EQ(server.Count("LIST"), kind == Server::TakesIt ? 2 : 3);
    }
}

TEST_F(CServerQuirksTest, NothingIsSentThatIsNotNeeded)
{
    fake.SetFile("/f", QByteArray(1000, 'f'));
    fake.SetListing("-rw-r--r-- 1 u g 1000 Mar 4 2021 f\r\n");
    std::unique_ptr<CFtpConnection> c = Get();
    for (int round = 0; round < 2; ++round) {
        ListAll(*c);
        // Exactly the announced size read, then closed: the data is at its end.
        std::unique_ptr<CInternetFile> file = c->OpenFile(QStringLiteral("/f"), FileAccess::Read);
        char block[1000];
        ASSERT_EQ(file->Read(block, sizeof block), 1000);
        file->Close();
    }
    c->Close();
    std::unique_ptr<CFtpConnection> pooled = Get(); // the same connection again
    EXPECT_TRUE(pooled->SetCurrentDirectory(QStringLiteral("/")));
    EXPECT_EQ(fake.Count("USER"), 1);
    EXPECT_EQ(fake.Count("ABOR"), 0);
    EXPECT_EQ(fake.Count("TYPE"), 2); // A for the first listing, I for the files
    EXPECT_EQ(fake.Count("NOOP"), 0); // the pooled one's CWD proves it alive
}

TEST_F(CServerQuirksTest, TheCleanUpAfterAStopKeepsTheWindowsPainted)
{
    // The hook's calls after the stop; the server answers ABOR only once it has seen two,
    // that is only when the clean-up keeps calling the hook while it waits.
    auto callsAfterStop = std::make_shared<std::atomic<int>>(0);
    fake.On("RETR", [callsAfterStop](CSession& s, const QByteArray&) {
        s.Send("150 Opening data connection.");
        const int data = s.OpenData();
        s.SendData(data, QByteArray(1000, 'x'));
        for (int i = 0; i < 50 && s.IsOpen(); ++i) {
            if (!s.ReadCommand(100ms).toUpper().startsWith("ABOR"))
                continue;
            close(data);
            // A slow answer to ABOR, bounded far beyond the client's clean-up limit.
            for (int wait = 0; wait < 2000 && *callsAfterStop < 2 && !s.server.Stopping(); ++wait)
                std::this_thread::sleep_for(10ms);
            s.Send("426 Aborted.");
            s.Send("226 Abort done.");
            return;
        }
        close(data);
    });
    std::unique_ptr<CFtpConnection> c = Get();
    std::unique_ptr<CInternetFile> file = c->OpenFile(QStringLiteral("/f"), FileAccess::Read);
    char block[1000];
    ASSERT_EQ(file->Read(block, sizeof block), 1000);
    bool stopped = false;
    session.SetWaitHook([&] {
        if (stopped)
            ++*callsAfterStop;
        stopped = true;
        return false;
    });
    EXPECT_EQ(KindThrown([&] { file->Read(block, sizeof block); }), InetErrorKind::Cancelled);
    session.SetWaitHook({});
    EXPECT_GE(*callsAfterStop, 2);
    EXPECT_TRUE(c->SetCurrentDirectory(QStringLiteral("/")));
}

TEST_F(CServerQuirksTest, AnAddressThatDoesNotAnswerDoesNotKeepTheNextFromBeingTried)
{
    // A listener whose queue is full lets further connection attempts hang unanswered.
    const int deaf = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(deaf, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(deaf, 0), 0);
    socklen_t length = sizeof address;
    getsockname(deaf, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<CFtpSocket> filling;
    CFtpWaiter waiter(nullptr);
    const CSocketAddress deafAddress(reinterpret_cast<sockaddr*>(&address), length);
    for (int i = 0; i < 4; ++i) {
        try {
            filling.push_back(CFtpSocket::Connect({deafAddress}, DeadlineIn(200ms), waiter,
                                                  QStringLiteral("deaf")));
        } catch (const CInternetException&) {
            break; // the queue is full: this one hung
        }
    }
    sockaddr_in live = address;
    live.sin_port = htons(fake.Port());
    const CSocketAddress liveAddress(reinterpret_cast<sockaddr*>(&live), sizeof live);
    CFtpSocket connected;
    EXPECT_NO_THROW(connected = CFtpSocket::Connect({deafAddress, liveAddress}, DeadlineIn(2000ms),
                                                    waiter, QStringLiteral("the server")));
    EXPECT_TRUE(connected.IsValid());
    EXPECT_EQ(connected.PeerAddress().Port(), fake.Port());
    close(deaf);
}
