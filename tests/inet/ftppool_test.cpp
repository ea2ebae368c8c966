// The session's pool of idle connections, against the real server.
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/inet/inettesting.h"

#include "inet/internetfile.h"

#include <thread>

using namespace std::chrono_literals;

class CPoolTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.IsRunning());
        server.MakeFile(QStringLiteral("sub/f.txt"), "f");
    }

    std::unique_ptr<CFtpConnection> Get(const QString& user = CFtpServerFixture::kUser,
                                        const QString& password = CFtpServerFixture::kPassword)
    {
        return session->GetFtpConnection(server.Address(), user, password);
    }

    CFtpServerFixture server{{QStringLiteral("--auth-failed-delay"), QStringLiteral("0")}};
    std::unique_ptr<CInternetSession> session = std::make_unique<CInternetSession>(TestOptions());
};

TEST_F(CPoolTest, AClosedConnectionIsReusedInItsLoginFolder)
{
    std::unique_ptr<CFtpConnection> first = Get();
    ASSERT_TRUE(first->SetCurrentDirectory(QStringLiteral("sub")));
    first->Close();
    EXPECT_FALSE(first->IsOpen());
    EXPECT_EQ(session->PooledConnectionCount(), 1);

    std::unique_ptr<CFtpConnection> second = Get();
    EXPECT_EQ(session->PooledConnectionCount(), 0);
    QString directory;
    ASSERT_TRUE(second->GetCurrentDirectory(directory));
    EXPECT_EQ(directory.toStdString(), "/");
    EXPECT_EQ(Download(*second, QStringLiteral("sub/f.txt")), "f");
    EXPECT_EQ(server.CountCommands(QStringLiteral("LOGIN")), 1);
    EXPECT_EQ(server.CountCommands(QStringLiteral("QUIT")), 0);
}

TEST_F(CPoolTest, OnlyMatchingHealthyIdleConnectionsAreKept)
{
    {
        std::vector<std::unique_ptr<CFtpConnection>> open;
        for (int i = 0; i < 6; ++i)
            open.push_back(Get());
    } // six closed at once: four stay
    EXPECT_EQ(session->PooledConnectionCount(), 4);
    EXPECT_EQ(server.CountCommands(QStringLiteral("QUIT")), 2);

    // Another user gets a login of its own.
    std::unique_ptr<CFtpConnection> reader =
        Get(CFtpServerFixture::kReader, CFtpServerFixture::kReaderPassword);
    EXPECT_EQ(server.CountCommands(QStringLiteral("LOGIN")), 7);
    EXPECT_EQ(session->PooledConnectionCount(), 4);

    // A connection closed with a file still open is not pooled.
    std::unique_ptr<CFtpConnection> busy = Get();
    std::unique_ptr<CInternetFile> file =
        busy->OpenFile(QStringLiteral("sub/f.txt"), FileAccess::Read);
    busy->Close();
    EXPECT_EQ(session->PooledConnectionCount(), 3);
    EXPECT_EQ(KindThrown([&] {
                  char c;
                  file->Read(&c, 1);
              }),
              InetErrorKind::Closed);

    session->Close();
    EXPECT_EQ(session->PooledConnectionCount(), 0);
    EXPECT_EQ(server.CountCommands(QStringLiteral("QUIT")), 6);
}

TEST_F(CPoolTest, IdleConnectionsExpire)
{
    InternetOptions options = TestOptions();
    options.poolIdleLimit = 150ms;
    session->SetOptions(options);
    Get()->Close();
    EXPECT_EQ(session->PooledConnectionCount(), 1);
    // Gone once the limit has passed, however long the machine takes to get there.
    for (int i = 0; i < 500 && session->PooledConnectionCount() > 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(session->PooledConnectionCount(), 0);
    Get();
    EXPECT_EQ(server.CountCommands(QStringLiteral("LOGIN")), 2);
}

TEST_F(CPoolTest, AConnectionOutlivesItsSession)
{
    std::unique_ptr<CFtpConnection> connection = Get();
    session.reset();
    EXPECT_EQ(Download(*connection, QStringLiteral("sub/f.txt")), "f");
    connection->Close();
    EXPECT_EQ(server.CountCommands(QStringLiteral("QUIT")), 1);
}

TEST_F(CPoolTest, AWorkerThreadLogsInWithoutCallingTheHook)
{
    std::atomic<int> calls{0};
    std::thread::id hookThread;
    session->SetWaitHook([&] {
        ++calls;
        hookThread = std::this_thread::get_id();
        return true;
    });
    std::unique_ptr<CFtpConnection> connection;
    std::thread worker([&] { connection = Get(); });
    worker.join();
    ASSERT_TRUE(connection);
    EXPECT_EQ(calls, 0);
    connection.reset();
}
