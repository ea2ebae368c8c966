// Listings and Stat against the real server, through MLSD/MLST and through LIST/SIZE/MDTM.
#include "tests/inet/realserver.h"

#include <QDateTime>
#include <QFile>
#include <QTimeZone>

namespace {

void SetModified(const QString& path, qint64 utc)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::fromSecsSinceEpoch(utc, QTimeZone::utc()),
                                 QFileDevice::FileModificationTime));
}

constexpr qint64 kOld = 1614834360; // 2021-03-04 05:06:00 UTC

} // namespace

class CListingTest : public CRealServerTest
{
protected:
    void SetUp() override
    {
        CRealServerTest::SetUp();
        recent = QDateTime::currentSecsSinceEpoch() / 60 * 60 - 2 * 86400;
        SetModified(server->MakeFile(folder + QStringLiteral("/plain.txt"), QByteArray(1234, 'p')),
                    kOld);
        SetModified(server->MakeFile(folder + QStringLiteral("/recent.bin"), "0123456789"), recent);
        server->MakeFolder(folder + QStringLiteral("/sub"));
        server->MakeFolder(folder + QStringLiteral("/empty"));
        server->MakeFile(folder + QStringLiteral("/sub/inner.txt"), "inner");
        server->MakeFile(folder + QStringLiteral("/name with spaces.txt"), "12345");
        server->MakeFile(folder + QStringLiteral("/Привет.txt"), "abc");
        ASSERT_TRUE(QFile::link(QStringLiteral("plain.txt"), Local("link")));
    }

    void UseMachineListings(bool on)
    {
        InternetOptions options = TestOptions();
        options.useMachineListings = on;
        session->SetOptions(options);
    }

    qint64 recent = 0;
};

TEST_P(CListingTest, AFolderListsWithTypesSizesAndTimes)
{
    for (const bool machine : {true, false}) {
        SCOPED_TRACE(machine ? "MLSD" : "LIST");
        UseMachineListings(machine);
        std::unique_ptr<CFtpConnection> c = Connect();
        const std::vector<FtpListEntry> entries = ListAll(*c);
        ASSERT_EQ(entries.size(), 7u);

        struct Expected
        {
            const char* name;
            bool isDirectory;
            bool isNormal;
            quint64 size;
        };
        const Expected files[] = {
            {"plain.txt", false, true, 1234}, {"recent.bin", false, true, 10},
            {"sub", true, false, 0},          {"name with spaces.txt", false, true, 5},
            {"Привет.txt", false, true, 3},
        };
        for (const Expected& e : files) {
            const FtpListEntry* entry = FindEntry(entries, QString::fromUtf8(e.name));
            ASSERT_TRUE(entry) << e.name;
            EXPECT_EQ(entry->isDirectory, e.isDirectory) << e.name;
            EXPECT_EQ(entry->isNormal, e.isNormal) << e.name;
            if (!e.isDirectory) {
                EXPECT_EQ(entry->size, e.size) << e.name;
            }
        }
        // LIST shows a date without the time for old files.
        EXPECT_EQ(FindEntry(entries, QStringLiteral("plain.txt"))->writeTime,
                  machine ? kOld : kOld / 86400 * 86400);
        EXPECT_EQ(FindEntry(entries, QStringLiteral("recent.bin"))->writeTime, recent);
        const FtpListEntry* link = FindEntry(entries, QStringLiteral("link"));
        ASSERT_TRUE(link);
        // MLSD shows what the link points to; LIST shows the link, and SIZE its target.
        EXPECT_TRUE(link->isNormal);
        EXPECT_EQ(link->isLink, !machine);
        EXPECT_EQ(FindEntry(entries, QStringLiteral("plain.txt"))->permissions, 0644);
    }
}

TEST_P(CListingTest, PatternsPickFoldersPathsAndWildcards)
{
    for (const bool machine : {true, false}) {
        SCOPED_TRACE(machine ? "MLSD" : "LIST");
        UseMachineListings(machine);
        std::unique_ptr<CFtpConnection> c = Connect();
        struct Case
        {
            QString pattern;
            std::vector<QString> names;
        };
        const Case cases[] = {
            {Remote("sub/*.*"), {QStringLiteral("inner.txt")}},
            {QStringLiteral("sub/*"), {QStringLiteral("inner.txt")}},
            {Remote("plain.txt"), {QStringLiteral("plain.txt")}},
            {QStringLiteral("name with spaces.txt"), {QStringLiteral("name with spaces.txt")}},
            {QStringLiteral("*.bin"), {QStringLiteral("recent.bin")}},
            {Remote("sub"), {QStringLiteral("sub")}},
            {Remote("empty/*.*"), {}},
            {Remote("missing.txt"), {}},
        };
        for (const Case& row : cases) {
            std::vector<QString> names;
            for (const FtpListEntry& entry : ListAll(*c, row.pattern))
                names.push_back(entry.name);
            EXPECT_EQ(names, row.names) << row.pattern.toStdString();
        }
        const std::vector<FtpListEntry> one = ListAll(*c, Remote("plain.txt"));
        ASSERT_EQ(one.size(), 1u);
        EXPECT_EQ(one[0].size, 1234u);
        EXPECT_TRUE(ListAll(*c, Remote("sub")).at(0).isDirectory);

        // Nothing found and failed are told apart.
        CFtpFileFind find(*c);
        EXPECT_FALSE(find.FindFile(Remote("empty/*.*")));
        EXPECT_FALSE(find.LastError());
        EXPECT_FALSE(find.FindFile(Remote("missing/*.*")));
        ASSERT_TRUE(find.LastError());
        EXPECT_EQ(find.LastError()->Kind(), InetErrorKind::Reply);
        EXPECT_EQ(find.LastError()->ReplyCode() / 100, 5);
    }
}

TEST_P(CListingTest, LinksComeBackAsLinksWithTheTypeOfWhatTheyLeadTo)
{
    ASSERT_TRUE(QFile::link(QStringLiteral("sub"), Local("folderlink")));
    // A link that leads nowhere does not stop the listing.
    ASSERT_TRUE(QFile::link(QStringLiteral("nothing here"), Local("dangling")));
    UseMachineListings(false); // LIST shows links as links
    std::unique_ptr<CFtpConnection> c = Connect();
    const std::vector<FtpListEntry> entries = ListAll(*c);
    struct Expected
    {
        const char* name;
        bool isDirectory;
        bool isNormal;
    };
    for (const Expected& e : {Expected{"link", false, true}, Expected{"folderlink", true, false}}) {
        const FtpListEntry* entry = FindEntry(entries, QString::fromUtf8(e.name));
        ASSERT_TRUE(entry) << e.name;
        EXPECT_TRUE(entry->isLink) << e.name;
        EXPECT_EQ(entry->isDirectory, e.isDirectory) << e.name;
        EXPECT_EQ(entry->isNormal, e.isNormal) << e.name;
    }
    // The connection is still where it was.
    QString directory;
    ASSERT_TRUE(c->GetCurrentDirectory(directory));
    EXPECT_EQ(directory, QLatin1Char('/') + folder);
}

TEST_P(CListingTest, StatTellsWhatAPathIs)
{
    for (const bool machine : {true, false}) {
        SCOPED_TRACE(machine ? "MLST" : "SIZE and MDTM");
        UseMachineListings(machine);
        std::unique_ptr<CFtpConnection> c = Connect();
        const std::optional<FtpStat> file = c->Stat(Remote("plain.txt"));
        ASSERT_TRUE(file);
        EXPECT_FALSE(file->isDirectory);
        EXPECT_EQ(file->size, 1234u);
        EXPECT_EQ(file->writeTime, kOld);
        const std::optional<FtpStat> spaced = c->Stat(QStringLiteral("name with spaces.txt"));
        ASSERT_TRUE(spaced);
        EXPECT_EQ(spaced->size, 5u);
        for (const char* folderName : {"sub", "empty", "sub/"}) {
            const std::optional<FtpStat> stat = c->Stat(Remote(QString::fromUtf8(folderName)));
            ASSERT_TRUE(stat) << folderName;
            EXPECT_TRUE(stat->isDirectory) << folderName;
        }
        EXPECT_FALSE(c->Stat(Remote("missing.txt")));
        EXPECT_FALSE(c->Stat(Remote("missing/inner.txt")));
        EXPECT_TRUE(c->Stat(QStringLiteral("/")));
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, CListingTest, testing::Bool(), ModeName);
