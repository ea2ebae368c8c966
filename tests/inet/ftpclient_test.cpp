// Login, the folder and file operations and the transfers, against the real server.
#include "tests/inet/realserver.h"

#include "inet/internetfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

namespace {

struct LoginCase
{
    const char* what;
    std::function<QString()> server;
    const char* user;
    const char* password;
    std::optional<InetErrorKind> failure;
};

} // namespace

TEST_P(CRealServerTest, LoginsSucceedOrFailWithTheirKind)
{
    const auto real = [] { return server->Address(); };
    const LoginCase cases[] = {
        {"right password", real, "user", "secret", std::nullopt},
        {"wrong password", real, "user", "wrong", InetErrorKind::Login},
        {"anonymous", real, "", "", std::nullopt},
        {"unresolvable host", [] { return QStringLiteral("no-such-host.invalid"); }, "user",
         "secret", InetErrorKind::Resolve},
        {"refused port", [] { return QStringLiteral("127.0.0.1:%1").arg(UnusedPort()); }, "user",
         "secret", InetErrorKind::Connect},
        {"no address at all", [] { return QStringLiteral("[::1"); }, "user", "secret",
         InetErrorKind::Resolve},
    };
    for (const LoginCase& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            std::unique_ptr<CFtpConnection> connection = session->GetFtpConnection(
                c.server(), QString::fromUtf8(c.user), QString::fromUtf8(c.password), 0, Passive());
            EXPECT_FALSE(c.failure) << "logged in, expected " << *c.failure;
            QString directory;
            EXPECT_TRUE(connection->GetCurrentDirectory(directory));
            EXPECT_EQ(directory.toStdString(), "/");
            EXPECT_TRUE(connection->IsOpen());
        } catch (const CInternetException& e) {
            ASSERT_TRUE(c.failure) << e.Message().toStdString();
            EXPECT_EQ(e.Kind(), *c.failure) << e.Message().toStdString();
            EXPECT_FALSE(e.Message().isEmpty());
        }
    }
    bool anonymousLogin = false;
    for (const QString& line : server->LogLines())
        anonymousLogin = anonymousLogin || line.endsWith(QLatin1String(" LOGIN anonymous"));
    EXPECT_TRUE(anonymousLogin);
}

TEST_P(CRealServerTest, EveryOperationReportsSuccessAndFailure)
{
    server->MakeFile(folder + QStringLiteral("/full/inside.txt"), "x");
    server->MakeFolder(folder + QStringLiteral("/empty"));
    server->MakeFile(folder + QStringLiteral("/delete.txt"), "d");
    server->MakeFile(folder + QStringLiteral("/a.txt"), "content a");
    server->MakeFile(folder + QStringLiteral("/b.txt"), "content b");
    std::unique_ptr<CFtpConnection> c = Connect();
    std::unique_ptr<CFtpConnection> reader =
        Connect(CFtpServerFixture::kReader, CFtpServerFixture::kReaderPassword);

    struct Case
    {
        const char* what;
        std::function<bool()> operation;
        bool expected;
    };
    const Case cases[] = {
        {"CWD into a missing folder", [&] { return c->SetCurrentDirectory(Remote("missing")); },
         false},
        {"CWD into a folder", [&] { return c->SetCurrentDirectory(Remote("full")); }, true},
        {"CWD back up", [&] { return c->SetCurrentDirectory(QStringLiteral("..")); }, true},
        {"MKD of a new folder", [&] { return c->CreateDirectory(Remote("new")); }, true},
        {"MKD of an existing folder", [&] { return c->CreateDirectory(Remote("full")); }, false},
        {"MKD without the right", [&] { return reader->CreateDirectory(Remote("nope")); }, false},
        {"RMD of a full folder", [&] { return c->RemoveDirectory(Remote("full")); }, false},
        {"RMD of an empty folder", [&] { return c->RemoveDirectory(Remote("empty")); }, true},
        {"DELE of a missing file", [&] { return c->Remove(Remote("missing.txt")); }, false},
        {"DELE of a file", [&] { return c->Remove(Remote("delete.txt")); }, true},
        {"rename onto an existing name",
         [&] { return c->Rename(Remote("a.txt"), Remote("b.txt")); }, false},
        {"rename of a missing file", [&] { return c->Rename(Remote("gone"), Remote("c.txt")); },
         false},
        {"rename to a new name", [&] { return c->Rename(Remote("a.txt"), Remote("c.txt")); }, true},
        {"a name with a line break",
         [&] { return c->CreateDirectory(QStringLiteral("x\r\nDELE b.txt")); }, false},
    };
    for (const Case& row : cases)
        EXPECT_EQ(row.operation(), row.expected) << row.what;

    QString directory;
    ASSERT_TRUE(c->GetCurrentDirectory(directory));
    EXPECT_EQ(directory, QLatin1Char('/') + folder);
    EXPECT_TRUE(QFileInfo(Local("new")).isDir());
    EXPECT_FALSE(QFileInfo::exists(Local("nope")));
    EXPECT_FALSE(QFileInfo::exists(Local("empty")));
    EXPECT_FALSE(QFileInfo::exists(Local("delete.txt")));
    EXPECT_EQ(ReadLocal("b.txt"), "content b"); // not replaced by the refused rename
    EXPECT_EQ(ReadLocal("c.txt"), "content a");
    EXPECT_FALSE(QFileInfo::exists(Local("a.txt")));
    EXPECT_TRUE(c->IsOpen());
}

TEST_P(CRealServerTest, FilesTravelByteIdenticalBothWays)
{
    std::unique_ptr<CFtpConnection> c = Connect();
    for (const qint64 size : {0LL, 999LL, 1000LL, 2500LL, 5LL * 1024 * 1024}) {
        SCOPED_TRACE(size);
        const QByteArray data = PatternBytes(size, static_cast<quint32>(size));
        const QString name = QStringLiteral("file%1.bin").arg(size);
        Upload(*c, Remote(name), data);
        EXPECT_TRUE(ReadLocal(name) == data) << "upload differs";
        server->MakeFile(folder + QStringLiteral("/down%1.bin").arg(size), data);
        EXPECT_TRUE(Download(*c, Remote(QStringLiteral("down%1.bin").arg(size))) == data)
            << "download differs";
    }
    EXPECT_EQ(c->IsPassive(), Passive()) << "the mode fell back on a server that has both";
}

TEST_P(CRealServerTest, MissingFilesAndRefusedUploadsThrowAReply)
{
    std::unique_ptr<CFtpConnection> c = Connect();
    std::unique_ptr<CFtpConnection> reader =
        Connect(CFtpServerFixture::kReader, CFtpServerFixture::kReaderPassword);
    EXPECT_EQ(KindThrown([&] { c->OpenFile(Remote("missing.bin"), FileAccess::Read); }),
              InetErrorKind::Reply);
    EXPECT_EQ(KindThrown([&] { reader->OpenFile(Remote("up.bin"), FileAccess::Write); }),
              InetErrorKind::Reply);
    EXPECT_FALSE(QFileInfo::exists(Local("up.bin")));
    // The connection is still in step after the refusals.
    server->MakeFile(folder + QStringLiteral("/there.bin"), "there");
    EXPECT_EQ(Download(*c, Remote("there.bin")), "there");
}

TEST_P(CRealServerTest, OneOpenFileOrSearchPerConnection)
{
    const QByteArray data = PatternBytes(2 * 1024 * 1024);
    server->MakeFile(folder + QStringLiteral("/big.bin"), data);
    server->MakeFile(folder + QStringLiteral("/small.txt"), "small");
    std::unique_ptr<CFtpConnection> c = Connect();

    std::unique_ptr<CInternetFile> file = c->OpenFile(Remote("big.bin"), FileAccess::Read);
    char block[1000];
    ASSERT_EQ(file->Read(block, sizeof block), 1000);
    EXPECT_EQ(KindThrown([&] { c->OpenFile(Remote("small.txt"), FileAccess::Read); }),
              InetErrorKind::Busy);
    EXPECT_EQ(KindThrown([&] { c->Command(QStringLiteral("LIST"), true); }), InetErrorKind::Busy);
    EXPECT_FALSE(c->SetCurrentDirectory(Remote("")));
    CFtpFileFind busyFind(*c);
    EXPECT_FALSE(busyFind.FindFile());
    ASSERT_TRUE(busyFind.LastError());
    EXPECT_EQ(busyFind.LastError()->Kind(), InetErrorKind::Busy);
    QByteArray got(block, 1000);
    for (qint64 n; (n = file->Read(block, sizeof block)) > 0;)
        got.append(block, n);
    file->Close();
    EXPECT_TRUE(got == data) << "the first file was disturbed";

    CFtpFileFind find(*c);
    ASSERT_TRUE(find.FindFile());
    EXPECT_EQ(KindThrown([&] { c->OpenFile(Remote("small.txt"), FileAccess::Read); }),
              InetErrorKind::Busy);
    CFtpFileFind second(*c);
    EXPECT_FALSE(second.FindFile());
    int count = 0;
    for (bool more = true; more; ++count)
        more = find.FindNextFile();
    EXPECT_EQ(count, 2);
    find.Close();
    EXPECT_EQ(Download(*c, Remote("small.txt")), "small");
}

TEST_P(CRealServerTest, ADownloadClosedHalfWayLeavesTheConnectionUsable)
{
    server->MakeFile(folder + QStringLiteral("/big.bin"), PatternBytes(5 * 1024 * 1024));
    server->MakeFile(folder + QStringLiteral("/small.txt"), "small");
    std::unique_ptr<CFtpConnection> c = Connect();
    for (const bool byDestructor : {false, true}) {
        SCOPED_TRACE(byDestructor ? "destroyed" : "closed");
        std::unique_ptr<CInternetFile> file = c->OpenFile(Remote("big.bin"), FileAccess::Read);
        char block[1000];
        for (int i = 0; i < 100; ++i)
            ASSERT_GT(file->Read(block, sizeof block), 0);
        if (byDestructor)
            file.reset();
        else
            EXPECT_NO_THROW(file->Close());
        const std::vector<FtpListEntry> entries = ListAll(*c);
        EXPECT_EQ(entries.size(), 2u);
        EXPECT_EQ(Download(*c, Remote("small.txt")), "small");
        EXPECT_TRUE(c->IsOpen());
    }
    EXPECT_GE(server->CountCommands(QStringLiteral("ABOR")), 2);
}

TEST_P(CRealServerTest, RawCommandsGiveTheServersBytes)
{
    server->MakeFile(folder + QStringLiteral("/mode.txt"), "m");
    std::unique_ptr<CFtpConnection> c = Connect();
    EXPECT_EQ(c->Command(QStringLiteral("NOOP"), false), nullptr);
    EXPECT_EQ(c->Command(QStringLiteral("SITE CHMOD 640 mode.txt"), false), nullptr);
    EXPECT_EQ(QFileInfo(Local("mode.txt")).permissions() & 0x7777,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                  QFileDevice::WriteUser | QFileDevice::ReadGroup);
    // Not examined: a refused command is no failure of Command.
    EXPECT_EQ(c->Command(QStringLiteral("XYZZY"), false), nullptr);

    std::unique_ptr<CInternetFile> list = c->Command(QStringLiteral("LIST"), true);
    QByteArray raw;
    char block[1000];
    for (qint64 n; (n = list->Read(block, sizeof block)) > 0;)
        raw.append(block, n);
    list->Close();
    EXPECT_TRUE(raw.startsWith("-rw-r-----")) << raw.toStdString();
    EXPECT_TRUE(raw.endsWith(" mode.txt\r\n")) << raw.toStdString();
    EXPECT_EQ(KindThrown([&] { c->Command(QStringLiteral("NOOP\r\nDELE mode.txt"), false); }),
              InetErrorKind::Protocol);
    EXPECT_TRUE(QFileInfo::exists(Local("mode.txt")));
}

TEST_P(CRealServerTest, ALostConnectionFailsEveryLaterCallFast)
{
    CFtpServerFixture own;
    own.MakeFile(QStringLiteral("f.txt"), "f");
    std::unique_ptr<CFtpConnection> c = session->GetFtpConnection(
        own.Address(), CFtpServerFixture::kUser, CFtpServerFixture::kPassword, 0, Passive());
    own.Stop();
    EXPECT_FALSE(c->SetCurrentDirectory(QStringLiteral("/")));
    EXPECT_FALSE(c->IsOpen());
    // Each fails at once as closed: none tries the network again.
    EXPECT_EQ(KindThrown([&] { c->OpenFile(QStringLiteral("f.txt"), FileAccess::Read); }),
              InetErrorKind::Closed);
    EXPECT_EQ(KindThrown([&] { c->Command(QStringLiteral("NOOP"), false); }),
              InetErrorKind::Closed);
    EXPECT_EQ(KindThrown([&] { c->Stat(QStringLiteral("f.txt")); }), InetErrorKind::Closed);
    CFtpFileFind find(*c);
    EXPECT_FALSE(find.FindFile());
    ASSERT_TRUE(find.LastError());
    EXPECT_EQ(find.LastError()->Kind(), InetErrorKind::Closed);
    QString directory;
    EXPECT_FALSE(c->GetCurrentDirectory(directory));
}

TEST_P(CRealServerTest, IPv6WorksInBothModes)
{
    CFtpServerFixture own({QStringLiteral("--host"), QStringLiteral("::1")});
    ASSERT_TRUE(own.IsRunning());
    own.MakeFile(QStringLiteral("down.bin"), PatternBytes(3000, 7));
    std::unique_ptr<CFtpConnection> c = session->GetFtpConnection(
        QStringLiteral("[::1]:%1").arg(own.Port()), CFtpServerFixture::kUser,
        CFtpServerFixture::kPassword, 0, Passive());
    EXPECT_TRUE(Download(*c, QStringLiteral("down.bin")) == PatternBytes(3000, 7));
    Upload(*c, QStringLiteral("up.bin"), PatternBytes(2500, 8));
    QFile up(own.Root() + QStringLiteral("/up.bin"));
    ASSERT_TRUE(up.open(QIODevice::ReadOnly));
    EXPECT_TRUE(up.readAll() == PatternBytes(2500, 8));
    EXPECT_EQ(ListAll(*c).size(), 2u);
    EXPECT_EQ(c->IsPassive(), Passive());
    EXPECT_EQ(own.CountCommands(Passive() ? QStringLiteral("EPSV") : QStringLiteral("EPRT")), 3);
}

INSTANTIATE_TEST_SUITE_P(Modes, CRealServerTest, testing::Bool(), ModeName);
