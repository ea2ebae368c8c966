#include "tests/inet/realserver.h"

#include <QFile>

void CRealServerTest::SetUpTestSuite()
{
    // A refused login is answered at once, not after pyftpdlib's three seconds.
    server = new CFtpServerFixture({QStringLiteral("--auth-failed-delay"), QStringLiteral("0")});
}

void CRealServerTest::TearDownTestSuite()
{
    delete server;
    server = nullptr;
}

void CRealServerTest::SetUp()
{
    ASSERT_TRUE(server && server->IsRunning());
    static int cases = 0;
    folder = QStringLiteral("case%1").arg(++cases);
    server->MakeFolder(folder);
    session = std::make_unique<CInternetSession>(TestOptions());
}

void CRealServerTest::TearDown()
{
    session.reset();
}

std::unique_ptr<CFtpConnection> CRealServerTest::Connect(const QString& user,
                                                         const QString& password)
{
    std::unique_ptr<CFtpConnection> connection =
        session->GetFtpConnection(server->Address(), user, password, 0, Passive());
    EXPECT_TRUE(connection->SetCurrentDirectory(QLatin1Char('/') + folder));
    return connection;
}

QString CRealServerTest::Remote(const QString& relative) const
{
    return QLatin1Char('/') + folder + QLatin1Char('/') + relative;
}

QString CRealServerTest::Local(const QString& relative) const
{
    return server->Root() + QLatin1Char('/') + folder + QLatin1Char('/') + relative;
}

QByteArray CRealServerTest::ReadLocal(const QString& relative) const
{
    QFile file(Local(relative));
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

std::string ModeName(const testing::TestParamInfo<bool>& info)
{
    return info.param ? "Passive" : "Active";
}
