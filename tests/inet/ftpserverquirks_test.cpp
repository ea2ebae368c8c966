// How the library copes with servers in the field, played by the scripted fake server where
// a real server will not do it on demand.
#include "tests/fixtures/fakeftpserver.h"
#include "tests/fixtures/qtprint.h"
#include "tests/inet/inettesting.h"

#include "inet/internetfile.h"

#include <unistd.h>

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
