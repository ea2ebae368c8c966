// Reading permissions from a LIST reply, and setting them on a real server.
#include "app/vantorapp.h"
#include "ftp/ftpattributes.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "tests/fixtures/ftpserverfixture.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

struct ListingCase
{
    const char* what;
    QByteArray listing;
    const char* name;
    const char* value;
};

} // namespace

TEST(PermissionsFromListing, ReadsTheLineThatNamesTheFile)
{
    const QByteArray twoFiles = "total 8\r\n"
                                "-rw-r--r--   1 ann  staff   120 Jan 10 12:00 old_report.txt\r\n"
                                "-rwxr-x---   1 ann  staff   120 Jan 10 12:00 report.txt\r\n";
    const ListingCase table[] = {
        {"owner and group", twoFiles, "report.txt", "750"},
        {"a name that ends another name", twoFiles, "old_report.txt", "644"},
        {"a name only part of another", twoFiles, "report", "000"},
        {"no group column", "-rw-------   1 ann 5 Mar  1  2020 notes\r\n", "notes", "600"},
        {"numeric owner, ISO time", "-rwxrwxrwx 1 1000 1000 5 2024-06-02 10:00 all\r\n", "all",
         "777"},
        {"line ends without CR",
         "drwxr-xr-x 2 u g 4096 Jun  2 10:00 a\n-rw-r----- 1 u g 1 Jun  2 "
         "10:00 b\n",
         "b", "640"},
        {"the first line", "-rw-r--r-- 1 u g 1 Jun  2 10:00 first\r\nrest", "first", "644"},
        {"the last line without an end", "x\n-r--r--r-- 1 u g 1 Jun  2 10:00 last", "last", "444"},
        {"a name with blanks", "-rw-rw-r-- 1 u g 1 Jun  2 10:00 my  report 2.txt\r\n",
         "my  report 2.txt", "664"},
        {"a name with a leading blank", "-rw-rw-r-- 1 u g 1 Jun  2 10:00  lead\r\n", " lead",
         "664"},
        {"a link, by the name before the arrow",
         "lrwxrwxrwx 1 u g 7 Jun  2 10:00 current -> release\r\n", "current", "777"},
        {"a link's target is no name", "lrwxrwxrwx 1 u g 7 Jun  2 10:00 current -> release\r\n",
         "release", "000"},
        {"setuid and setgid with execute", "-rwsr-sr-x 1 u g 1 Jun  2 10:00 tool\r\n", "tool",
         "6755"},
        {"setuid without execute", "-rwSr--r-- 1 u g 1 Jun  2 10:00 odd\r\n", "odd", "4644"},
        {"sticky folder", "drwxrwxrwt 2 u g 1 Jun  2 10:00 tmp\r\n", "tmp", "1777"},
        {"sticky without execute", "drwxrwxr-T 2 u g 1 Jun  2 10:00 box\r\n", "box", "1774"},
        {"an ACL mark after the mode", "-rw-r--r--+ 1 u g 1 Jun  2 10:00 acl\r\n", "acl", "644"},
        {"a DOS listing has no permissions", "06-02-24  10:00AM   120 file.txt\r\n", "file.txt",
         "000"},
        {"not listed", twoFiles, "missing.txt", "000"},
        {"an empty listing", "", "x", "000"},
        {"an empty name", twoFiles, "", "000"},
    };
    for (const ListingCase& c : table)
        EXPECT_EQ(PermissionsFromListing(c.listing, QString::fromUtf8(c.name)),
                  QString::fromLatin1(c.value))
            << c.what;
}

TEST(PermissionsFromListing, ReadsToTheEndOfALargeListing)
{
    QByteArray listing;
    for (int i = 0; listing.size() < 2 * 1024 * 1024; ++i)
        listing +=
            "-rw-r--r--   1 user group 2048 Jan 10 12:00 file" + QByteArray::number(i) + ".dat\r\n";
    listing += "-rwx------   1 user group 2048 Jan 10 12:00 zz last.dat\r\n";
    EXPECT_EQ(PermissionsFromListing(listing, QStringLiteral("zz last.dat")), "700");
}

TEST(AttributeValue, OneToFourOctalDigitsCompareAsNumbers)
{
    struct Case
    {
        const char* a;
        const char* b;
        bool valid; // a
        bool same;
    };
    const Case table[] = {
        {"644", "644", true, true},    {"0644", "644", true, true},
        {"44", "044", true, true},     {"4755", "755", true, false},
        {"7", "007", true, true},      {"755", "644", true, false},
        {"", "000", false, false},     {"888", "888", false, false},
        {"64a", "64a", false, false},  {"00644", "644", false, false},
        {"-644", "644", false, false}, {" 644", "644", false, false},
    };
    for (const Case& c : table) {
        EXPECT_EQ(IsAttributeValue(QString::fromLatin1(c.a)), c.valid) << c.a;
        EXPECT_EQ(SameAttributeValue(QString::fromLatin1(c.a), QString::fromLatin1(c.b)), c.same)
            << c.a << " / " << c.b;
    }
}

class CFtpAttributesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.IsRunning());
        server.MakeFile(QStringLiteral("pub/report.txt"), "r");
        server.MakeFile(QStringLiteral("pub/old_report.txt"), "o");
        server.MakeFile(QStringLiteral("pub/two words.txt"), "t");
        server.MakeFolder(QStringLiteral("elsewhere"));
        QFile::setPermissions(server.Root() + QStringLiteral("/pub/report.txt"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        session = std::make_unique<CInternetSession>();
        connection = session->GetFtpConnection(server.Address(), QString::fromLatin1(server.kUser),
                                               QString::fromLatin1(server.kPassword));
    }

    CFtpServerFixture server;
    std::unique_ptr<CInternetSession> session;
    std::unique_ptr<CFtpConnection> connection;
};

TEST_F(CFtpAttributesTest, ReadsAndSetsInTheNamedFolderWhereverTheConnectionWas)
{
    // The connection stands in another folder, as after the tree expanded one.
    ASSERT_TRUE(connection->SetCurrentDirectory(QStringLiteral("/elsewhere")));
    EXPECT_EQ(ReadAttributes(*connection, QStringLiteral("/pub/"), QStringLiteral("report.txt")),
              "640");

    struct Case
    {
        const char* name;
        const char* typed;
        const char* after;
    };
    const Case table[] = {
        {"report.txt", "600", "600"},
        {"report.txt", "0644", "644"}, // a leading zero is the same number
        {"two words.txt", "664", "664"},
        {"old_report.txt", "755", "755"},
    };
    for (const Case& c : table) {
        ASSERT_TRUE(connection->SetCurrentDirectory(QStringLiteral("/elsewhere")));
        EXPECT_TRUE(ApplyAttributes(*connection, QStringLiteral("/pub/"), QString::fromUtf8(c.name),
                                    QString::fromLatin1(c.typed)))
            << c.name << " " << c.typed;
        EXPECT_EQ(ReadAttributes(*connection, QStringLiteral("/pub/"), QString::fromUtf8(c.name)),
                  QString::fromLatin1(c.after));
    }
    const QFile::Permissions shown = QFile::permissions(server.Root() + "/pub/old_report.txt");
    EXPECT_TRUE(shown & QFile::ExeOther);
}

TEST_F(CFtpAttributesTest, AFileThatDoesNotTakeTheValueFails)
{
    struct Case
    {
        const char* folder;
        const char* name;
    };
    const Case table[] = {
        {"/pub/", "missing.txt"},           // nothing to change, nothing to read back
        {"/no such folder/", "report.txt"}, // the folder cannot be entered
    };
    for (const Case& c : table) {
        EXPECT_FALSE(ApplyAttributes(*connection, QString::fromUtf8(c.folder),
                                     QString::fromUtf8(c.name), QStringLiteral("600")))
            << c.folder << c.name;
        EXPECT_EQ(
            ReadAttributes(*connection, QString::fromUtf8(c.folder), QString::fromUtf8(c.name)),
            "000");
    }
    EXPECT_EQ(server.CountCommands(QStringLiteral("SITE")), 1)
        << "no command in a folder not entered";
    // The file in /pub kept its permissions.
    EXPECT_EQ(ReadAttributes(*connection, QStringLiteral("/pub/"), QStringLiteral("report.txt")),
              "640");
}
