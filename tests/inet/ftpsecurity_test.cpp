// The security a profile address asks for, and the store of certificates the user trusts.
#include "inet/ftpsecurity.h"
#include "inet/tlstruststore.h"
#include "tests/fixtures/testenvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

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
    // Replaced in one step: no temporary file is left beside it.
    EXPECT_EQ(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files).size(), 1);
}

TEST(TlsTrustStore, DamagedLinesAreSkippedAndAnUnwritableFolderIsReported)
{
    const QString path = TestConfigFolder() + QStringLiteral("/VantorCertificates");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("garbage\n\n# comment\nhost:21 abcd\n   \nhost:22\n");
    file.close();
    CTlsTrustStore store(path);
    EXPECT_EQ(store.Fingerprint(QStringLiteral("host"), 21), QByteArray("abcd"));
    EXPECT_FALSE(store.Fingerprint(QStringLiteral("host"), 22));
    ASSERT_TRUE(store.Trust(QStringLiteral("host"), 22, "ef01"));
    EXPECT_EQ(store.Fingerprint(QStringLiteral("host"), 21), QByteArray("abcd"));

    // A file where the folder should be: nothing can be stored, and that is said.
    CTlsTrustStore blocked(path + QStringLiteral("/below"));
    EXPECT_FALSE(blocked.Trust(QStringLiteral("host"), 21, "abcd"));
}
