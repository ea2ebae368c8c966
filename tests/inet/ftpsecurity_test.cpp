// The security a profile address asks for, and the store of certificates the user trusts.
#include "inet/ftpsecurity.h"
#include "inet/tlstruststore.h"
#include "tests/fixtures/testenvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

struct AddressRow
{
    const char* address;
    std::optional<FtpSecurity> security; // nothing: not an address
    const char* server = "";
    quint16 defaultPort = 21;
};

const char* Name(FtpSecurity security)
{
    switch (security) {
    case FtpSecurity::Opportunistic:
        return "opportunistic";
    case FtpSecurity::Explicit:
        return "explicit";
    case FtpSecurity::Implicit:
        return "implicit";
    case FtpSecurity::Plain:
        return "plain";
    }
    return "?";
}

} // namespace

TEST(FtpSecurityAddress, SchemeChoosesSecurityAndDefaultPort)
{
    const AddressRow rows[] = {
        {"ftp.example.com", FtpSecurity::Opportunistic, "ftp.example.com"},
        {"ftp.example.com:2121", FtpSecurity::Opportunistic, "ftp.example.com:2121"},
        {"[::1]:2121", FtpSecurity::Opportunistic, "[::1]:2121"},
        {"  host  ", FtpSecurity::Opportunistic, "host"},
        {"ftpes://host", FtpSecurity::Explicit, "host"},
        {"FTPES://host:2100/", FtpSecurity::Explicit, "host:2100"},
        {"ftps://host", FtpSecurity::Implicit, "host", 990},
        {"ftps://host:2990", FtpSecurity::Implicit, "host:2990", 990},
        {"ftps://[::1]", FtpSecurity::Implicit, "[::1]", 990},
        {"ftp://host", FtpSecurity::Plain, "host"},
        {"Ftp://host:21/", FtpSecurity::Plain, "host:21"},
        // Not an FTP server address: never silently taken as a host name.
        {"sftp://host", std::nullopt},
        {"http://host", std::nullopt},
        {"ftp://host/pub", std::nullopt},
        {"ftps://", std::nullopt},
        {"", std::nullopt},
    };
    for (const AddressRow& row : rows) {
        SCOPED_TRACE(row.address);
        const std::optional<FtpSecureAddress> got =
            ParseSecureAddress(QString::fromLatin1(row.address));
        ASSERT_EQ(got.has_value(), row.security.has_value());
        if (!got)
            continue;
        EXPECT_STREQ(Name(got->security), Name(*row.security));
        EXPECT_EQ(got->server.toStdString(), row.server);
        EXPECT_EQ(got->defaultPort, row.defaultPort);
    }
}

// The profiles dialog's security choice reads and rewrites the scheme and nothing else.
TEST(FtpSecurityAddress, ChoosingASecurityRewritesOnlyTheScheme)
{
    struct Row
    {
        const char* address;
        FtpSecurity read;
        FtpSecurity chosen;
        const char* written;
    };
    const Row rows[] = {
        {"b.example", FtpSecurity::Opportunistic, FtpSecurity::Explicit, "ftpes://b.example"},
        {"ftpes://b.example:2121", FtpSecurity::Explicit, FtpSecurity::Implicit,
         "ftps://b.example:2121"},
        {"FTPS://b.example", FtpSecurity::Implicit, FtpSecurity::Opportunistic, "b.example"},
        {"ftp://b.example/", FtpSecurity::Plain, FtpSecurity::Explicit, "ftpes://b.example/"},
        {" ftp://[::1]:21", FtpSecurity::Plain, FtpSecurity::Opportunistic, " [::1]:21"},
        {"b.example:2121", FtpSecurity::Opportunistic, FtpSecurity::Plain, "ftp://b.example:2121"},
        // The same choice again leaves the text as typed.
        {"FTPES://b.example", FtpSecurity::Explicit, FtpSecurity::Explicit, "FTPES://b.example"},
        // Another service's scheme is not kept in front of ours.
        {"sftp://b.example", FtpSecurity::Opportunistic, FtpSecurity::Plain, "ftp://b.example"},
        {"", FtpSecurity::Opportunistic, FtpSecurity::Implicit, "ftps://"},
        {"ftp", FtpSecurity::Opportunistic, FtpSecurity::Explicit, "ftpes://ftp"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.address);
        const QString address = QString::fromLatin1(row.address);
        EXPECT_STREQ(Name(SecurityOfAddress(address)), Name(row.read));
        const QString written = AddressWithSecurity(address, row.chosen);
        EXPECT_EQ(written.toStdString(), row.written);
        EXPECT_STREQ(Name(SecurityOfAddress(written)), Name(row.chosen));
    }
}

TEST(TlsTrustStore, KeepsOneFingerprintPerServerAndPortAcrossInstances)
{
    const QString path = TestConfigFolder() + QStringLiteral("/trust/VantorCertificates");
    {
        CTlsTrustStore store(path);
        EXPECT_FALSE(store.Fingerprint(QStringLiteral("host"), 21));
        ASSERT_TRUE(store.Trust(QStringLiteral("Host"), 21, "AAAA"));
        ASSERT_TRUE(store.Trust(QStringLiteral("host"), 990, "bbbb"));
        ASSERT_TRUE(store.Trust(QStringLiteral("::1"), 21, "cccc"));
        // Trusting a new certificate replaces the old one of that server only.
        ASSERT_TRUE(store.Trust(QStringLiteral("HOST"), 21, "dddd"));
    }
    const CTlsTrustStore again(path);
    EXPECT_EQ(again.Fingerprint(QStringLiteral("host"), 21), QByteArray("dddd"));
    EXPECT_EQ(again.Fingerprint(QStringLiteral("host"), 990), QByteArray("bbbb"));
    EXPECT_EQ(again.Fingerprint(QStringLiteral("::1"), 21), QByteArray("cccc"));
    EXPECT_FALSE(again.Fingerprint(QStringLiteral("host"), 2121));
    EXPECT_FALSE(again.Fingerprint(QStringLiteral("other"), 21));

    // Only the user may read whom they trust.
    struct stat info
    {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // Replaced in one step: no temporary file is left beside it (only the lock the
    // running copies share).
    EXPECT_EQ(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files),
              QStringList({QStringLiteral("VantorCertificates"),
                           QStringLiteral("VantorCertificates.lock")}));
}

TEST(TlsTrustStore, ADamagedOrUnreadableFileIsReportedAndNeverRewritten)
{
    const QString path = TestConfigFolder() + QStringLiteral("/VantorCertificates");
    const QByteArray damaged = "garbage\n\n# comment\nhost:21 abcd\n   \nhost:22\n";
    struct Case
    {
        const char* what;
        QByteArray content; // empty: a folder stands where the file should be
        bool readsPin;
    };
    const Case cases[] = {
        {"damaged lines", damaged, true},
        {"over 1 MiB", "host:21 abcd\n" + QByteArray(1024 * 1024, '#'), false},
        {"unreadable", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(path).removeRecursively();
        QFile::remove(path);
        if (c.content.isEmpty()) {
            ASSERT_TRUE(QDir().mkpath(path));
        } else {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) &&
                        file.write(c.content) == c.content.size());
        }
        CTlsTrustStore store(path);
        // What can still be read is answered, but the damage is said.
        EXPECT_EQ(store.Fingerprint(QStringLiteral("host"), 21).has_value(), c.readsPin);
        EXPECT_FALSE(store.Error().isEmpty());
        EXPECT_FALSE(store.Trust(QStringLiteral("host"), 22, "ef01"));
        EXPECT_FALSE(store.RememberTls(QStringLiteral("host"), 23));
        EXPECT_TRUE(store.Error().contains(QDir::toNativeSeparators(path)))
            << store.Error().toStdString();
        if (!c.content.isEmpty()) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_TRUE(file.readAll() == c.content) << "the user's file was rewritten";
        }
    }

    // A file where the folder should be: nothing can be stored, and that is said.
    CTlsTrustStore blocked(path + QStringLiteral("/below/VantorCertificates"));
    QDir(path).removeRecursively();
    QFile blocker(path);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(blocked.Trust(QStringLiteral("host"), 21, "abcd"));
    EXPECT_FALSE(blocked.Error().isEmpty());
}

TEST(TlsTrustStore, TlsMarksAndPinsAreKeptTogetherAndForgottenOnlyOnPurpose)
{
    const QString path = TestConfigFolder() + QStringLiteral("/VantorCertificates");
    CTlsTrustStore store(path);
    EXPECT_FALSE(store.UsedTls(QStringLiteral("host"), 21));
    ASSERT_TRUE(store.RememberTls(QStringLiteral("Host"), 21));
    ASSERT_TRUE(store.Trust(QStringLiteral("host"), 990, "abcd"));
    ASSERT_TRUE(store.RememberTls(QStringLiteral("host"), 21)); // once is enough
    const CTlsTrustStore again(path);
    EXPECT_TRUE(again.UsedTls(QStringLiteral("host"), 21));
    EXPECT_TRUE(again.UsedTls(QStringLiteral("host"), 990)); // a pin counts as TLS seen
    EXPECT_FALSE(again.UsedTls(QStringLiteral("host"), 2121));
    EXPECT_FALSE(again.Fingerprint(QStringLiteral("host"), 21));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("tls host:21"), 1);

    ASSERT_TRUE(store.Forget(QStringLiteral("host"), 990));
    EXPECT_FALSE(again.UsedTls(QStringLiteral("host"), 990));
    EXPECT_FALSE(again.Fingerprint(QStringLiteral("host"), 990));
    EXPECT_TRUE(again.UsedTls(QStringLiteral("host"), 21));
}

TEST(TlsTrustStore, AnotherCopyHoldingTheLockIsWaitedForAndItsPinsAreKept)
{
    // Another running copy of the program holds the lock and writes its pin meanwhile:
    // this copy's change waits, then merges instead of writing over it.
    const QString path = TestConfigFolder() + QStringLiteral("/VantorCertificates");
    CTlsTrustStore store(path);
    ASSERT_TRUE(store.Trust(QStringLiteral("first"), 21, "aaaa"));
    const int lock =
        ::open(QFile::encodeName(path + QStringLiteral(".lock")).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    std::atomic<bool> stored{false};
    std::thread mine([&] { stored = store.Trust(QStringLiteral("mine"), 21, "bbbb"); });
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("other:21 cccc\n");
    }
    ::close(lock);
    mine.join();
    EXPECT_TRUE(stored);
    const CTlsTrustStore again(path);
    EXPECT_EQ(again.Fingerprint(QStringLiteral("first"), 21), QByteArray("aaaa"));
    EXPECT_EQ(again.Fingerprint(QStringLiteral("other"), 21), QByteArray("cccc"));
    EXPECT_EQ(again.Fingerprint(QStringLiteral("mine"), 21), QByteArray("bbbb"));

    // Two processes trusting at once lose nothing either.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    const QString prefix = child == 0 ? QStringLiteral("child") : QStringLiteral("parent");
    for (quint16 port = 1; port <= 40; ++port)
        CTlsTrustStore(path).Trust(prefix, port, "dddd");
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    for (quint16 port = 1; port <= 40; ++port) {
        EXPECT_TRUE(again.Fingerprint(QStringLiteral("child"), port)) << port;
        EXPECT_TRUE(again.Fingerprint(QStringLiteral("parent"), port)) << port;
    }
}