// The listing parser, by a table of raw lines and the entries they must give.
#include "inet/listingparser.h"
#include "inet/listingreader.h"

#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <ostream>

namespace {

qint64 Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc())
        .toSecsSinceEpoch();
}

// The listing's "now": 2024-06-15 12:00 UTC.
const qint64 kNow = Utc(2024, 6, 15, 12);

struct Expected
{
    const char* name;
    quint64 size;
    qint64 writeTime;
    bool isDirectory;
    bool isNormal;
    int permissions = -1;
    bool isLink = false;
};

struct Row
{
    const char* line;
    std::optional<Expected> entry; // nothing: the line must be skipped
};

std::string Show(const std::optional<FtpListEntry>& e)
{
    if (!e)
        return "(skipped)";
    return "name=\"" + e->name.toStdString() + "\" size=" + std::to_string(e->size) + " time=" +
           QDateTime::fromSecsSinceEpoch(e->writeTime, QTimeZone::utc())
               .toString(Qt::ISODate)
               .toStdString() +
           (e->isDirectory ? " dir" : "") + (e->isNormal ? " normal" : "") +
           (e->isLink ? " link" : "") + " perms=" +
           (e->permissions < 0 ? "-" : QString::number(e->permissions, 8).toStdString());
}

std::optional<FtpListEntry> Make(const std::optional<Expected>& x)
{
    if (!x)
        return std::nullopt;
    FtpListEntry e;
    e.name = QString::fromUtf8(x->name);
    e.size = x->size;
    e.writeTime = x->writeTime;
    e.isDirectory = x->isDirectory;
    e.isNormal = x->isNormal;
    e.permissions = x->permissions;
    e.isLink = x->isLink;
    return e;
}

bool Same(const std::optional<FtpListEntry>& a, const std::optional<FtpListEntry>& b)
{
    if (!a || !b)
        return !a && !b;
    return a->name == b->name && a->size == b->size && a->writeTime == b->writeTime &&
           a->isDirectory == b->isDirectory && a->isNormal == b->isNormal &&
           a->isLink == b->isLink && (b->permissions < 0 || a->permissions == b->permissions);
}

template <typename Parse>
void CheckTable(const std::vector<Row>& rows, Parse parse)
{
    for (const Row& row : rows) {
        const std::optional<FtpListEntry> got = parse(QByteArrayView(row.line));
        const std::optional<FtpListEntry> expected = Make(row.entry);
        EXPECT_TRUE(Same(got, expected)) << "input:    \"" << row.line << "\"\n"
                                         << "expected: " << Show(expected) << "\n"
                                         << "got:      " << Show(got);
    }
}

} // namespace

TEST(ListingParser, UnixLines)
{
    const qint64 old = Utc(2021, 3, 4);
    const std::vector<Row> rows = {
        {"-rw-r--r--    1 user     group        1234 Mar  4  2021 plain.txt",
         Expected{"plain.txt", 1234, old, false, true, 0644}},
        {"drwxr-xr-x    2 user     group        4096 Jun 14 09:30 folder",
         Expected{"folder", 4096, Utc(2024, 6, 14, 9, 30), true, false, 0755}},
        // A server ahead of UTC may show a time a little past "now": still this year.
        {"-rw-r--r--    1 user     group          10 Jun 16 08:00 ahead",
         Expected{"ahead", 10, Utc(2024, 6, 16, 8), false, true}},
        {"-rw-r--r--    1 user     group          10 Jun 17 08:00 lastjune",
         Expected{"lastjune", 10, Utc(2023, 6, 17, 8), false, true}},
        {"-rw-r--r--    1 user     group          10 Dec 31 23:59 lastyear",
         Expected{"lastyear", 10, Utc(2023, 12, 31, 23, 59), false, true}},
        {"-rw-r--r--    1 user     group          10 Feb 29 10:00 leapday",
         Expected{"leapday", 10, Utc(2024, 2, 29, 10), false, true}},
        {"-rw-r--r--    1 user        512 Jan  2  2020 nogroup.txt",
         Expected{"nogroup.txt", 512, Utc(2020, 1, 2), false, true}},
        {"-rw-r--r-- user group 100 Mar 4 2021 nolinks",
         Expected{"nolinks", 100, old, false, true}},
        {"-rw-r--r-- user 100 Mar 4 2021 nolinksnogroup",
         Expected{"nolinksnogroup", 100, old, false, true}},
        {"-rw-r--r-- 1 jan 20 4096 Mar 4 2021 owner like a month",
         Expected{"owner like a month", 4096, old, false, true}},
        {"-rw-r--r-- 1 dec 7 2019 Mar 4 2021 and a small group id",
         Expected{"and a small group id", 2019, old, false, true}},
        {"-rw-------    1 1000     1000           77 Feb 29  2020 numeric.txt",
         Expected{"numeric.txt", 77, Utc(2020, 2, 29), false, true, 0600}},
        {"lrwxrwxrwx    1 user     group           9 Mar  4  2021 link -> plain.txt",
         Expected{"link", 9, old, false, false, 0777, true}},
        {"lrwxrwxrwx 1 u g 3 Mar 4 2021 my link -> target dir",
         Expected{"my link", 3, old, false, false, -1, true}},
        {"crw-rw-rw-    1 root     root       1,   3 Jan  1  2020 null",
         Expected{"null", 0, Utc(2020, 1, 1), false, false, 0666}},
        {"brw-rw----    1 root     disk       8,0 Jan  1  2020 sda",
         Expected{"sda", 0, Utc(2020, 1, 1), false, false}},
        {"prw-r--r--    1 user     group           0 Mar  4  2021 fifo",
         Expected{"fifo", 0, old, false, false}},
        {"-rw-r--r--    1 user     group           5 Mar  4  2021 name with spaces.txt",
         Expected{"name with spaces.txt", 5, old, false, true}},
        {"-rw-r--r-- 1 user group 5 Mar 4 2021  leading",
         Expected{" leading", 5, old, false, true}},
        {"-rw-r--r-- 1 u g 5 Mar 4 2021 a -> b", Expected{"a -> b", 5, old, false, true}},
        {"-rw-r--r-- 1 user group 2048 2022-11-05 14:07 iso.txt",
         Expected{"iso.txt", 2048, Utc(2022, 11, 5, 14, 7), false, true}},
        {"drwxr-xr-x 2 user group 4096 2022-11-05 14:07:33 isodir",
         Expected{"isodir", 4096, Utc(2022, 11, 5, 14, 7, 33), true, false}},
        {"-rw-r--r--+ 1 user group 1 Mar 4 2021 acl.txt", Expected{"acl.txt", 1, old, false, true}},
        {"-rwsr-xr-x 1 root root 100 Mar 4 2021 suid",
         Expected{"suid", 100, old, false, true, 0755}},
        {"drwxrwxrwT 2 root root 4096 Mar 4 2021 sticky",
         Expected{"sticky", 4096, old, true, false, 0776}},
        {"-rw-r--r-- 1 u g 5000000000 Mar 4 2021 big.iso",
         Expected{"big.iso", 5000000000ULL, old, false, true}},
        {"-rw-r--r-- 1 u g 1 jan 4 2021 lower", Expected{"lower", 1, Utc(2021, 1, 4), false, true}},
        {"-rw-r--r-- 1 u g 3 Mar 4 2021 crlf.txt\r\n", Expected{"crlf.txt", 3, old, false, true}},
        {"drwxr-xr-x 2 u g 4096 Mar 4 2021 .", Expected{".", 4096, old, true, false}},
        {"-rw-r--r-- 1 u g 1 Mar 4 2021 \xd0\x9f\xd1\x80\xd0\xb8.txt",
         Expected{"При.txt", 1, old, false, true}},
        {"-rw-r--r-- 1 u g 1 Mar 4 2021 caf\xe9", Expected{"café", 1, old, false, true}},
        // Not UTF-8: the Windows character set, which a server without UTF8 likely speaks.
        {"-rw-r--r-- 1 u g 1 Mar 4 2021 Bob\x92s report.doc",
         Expected{"Bob’s report.doc", 1, old, false, true}},
        {"-rw-r--r-- 1 u g 1 Mar 4 2021 price \x80.txt",
         Expected{"price €.txt", 1, old, false, true}},
        {"-rw-r--r-- 1 u g 1 Mar 4 2021 odd\x81", Expected{"odd\u0081", 1, old, false, true}},
        {"total 42", std::nullopt},
        {"", std::nullopt},
        {"\r\n", std::nullopt},
        {"hello world this is not a listing", std::nullopt},
        {"-rw-r--r-- 1 u g 99999999999999999999999 Mar 4 2021 overflow", std::nullopt},
        {"-rw-r--r-- 1 u g 1 Feb 30 2021 nodate", std::nullopt},
        {"-rw-r--r-- 1 u g 1 Mar 4 25:00 notime", std::nullopt},
        {"-rw-r--r-- 1 u g 1 Mar 4 2021 ../evil", std::nullopt},
        {"-rw-r--r-- 1 u g 1 Mar 4 2021 a/b", std::nullopt},
        {"-rw-r--r-- 1 u g 1 Mar 4 2021 ", std::nullopt},
        {"-rw-r--r-- 1 u g 1 Mar 4 2021 bad\x01name", std::nullopt},
        {"-rw-r--r-- 1 u g 1 Mar 4 2021 c1\xc2\x9b", Expected{"c1\u009b", 1, old, false, true}},
        {"-rw-r--r-- 1 u g 1 Mar 4 2021 del\x7f", std::nullopt},
        {"-rwxrwxrwz 1 u g 1 Mar 4 2021 badmode", std::nullopt},
    };
    CheckTable(rows, [](QByteArrayView line) { return ParseListLine(line, kNow); });
}

TEST(ListingParser, DosAndIisLines)
{
    const std::vector<Row> rows = {
        {"06-14-24  09:30AM       <DIR>          Folder Name",
         Expected{"Folder Name", 0, Utc(2024, 6, 14, 9, 30), true, false}},
        {"06-14-24  01:05PM                 1234 file.txt",
         Expected{"file.txt", 1234, Utc(2024, 6, 14, 13, 5), false, true}},
        {"12-31-99  12:00AM                    0 y2k.txt",
         Expected{"y2k.txt", 0, Utc(1999, 12, 31), false, true}},
        {"01-01-00  12:00PM                    7 noon.txt",
         Expected{"noon.txt", 7, Utc(2000, 1, 1, 12), false, true}},
        {"06-14-2024  09:30PM                 55 four digits.txt",
         Expected{"four digits.txt", 55, Utc(2024, 6, 14, 21, 30), false, true}},
        {"06-14-24  21:30       <DIR>          h24",
         Expected{"h24", 0, Utc(2024, 6, 14, 21, 30), true, false}},
        {"06-14-24 09:30 AM 100 separate.txt",
         Expected{"separate.txt", 100, Utc(2024, 6, 14, 9, 30), false, true}},
        {"13-14-24  09:30AM                    1 badmonth", std::nullopt},
        {"06-14-24  13:30PM                    1 badhour", std::nullopt},
        {"06-14-24  09:30AM       <DIR>          ../evil", std::nullopt},
        {"06-14-24  09:30AM                 12ab notasize", std::nullopt},
    };
    CheckTable(rows, [](QByteArrayView line) { return ParseListLine(line, kNow); });
}

TEST(ListingParser, MlsdLines)
{
    const qint64 when = Utc(2021, 3, 4, 5, 6);
    const std::vector<Row> rows = {
        {"type=file;size=1234;modify=20210304050600;UNIX.mode=0644; plain.txt",
         Expected{"plain.txt", 1234, when, false, true, 0644}},
        {"type=dir;sizd=4096;modify=20210304050600; folder",
         Expected{"folder", 4096, when, true, false}},
        {"type=cdir;modify=20210304050600; /home/user", Expected{".", 0, when, true, false}},
        {"type=pdir;modify=20210304050600; /home", Expected{"..", 0, when, true, false}},
        {"type=OS.unix=slink:/target;size=6; link", Expected{"link", 6, 0, false, false, -1, true}},
        {"type=OS.unix=symlink;size=6; other", Expected{"other", 6, 0, false, false, -1, true}},
        {"Type=File;Size=5;Modify=20210304050600.123; Mixed Case.txt",
         Expected{"Mixed Case.txt", 5, when, false, true}},
        {"type=file;size=1; name; with; semicolons",
         Expected{"name; with; semicolons", 1, 0, false, true}},
        {"type=file;size=1;unix.mode=0o640; pyftpd", Expected{"pyftpd", 1, 0, false, true, 0640}},
        {"size=3; notype", Expected{"notype", 3, 0, false, true}},
        {"type=file;size=1;modify=garbage; badtime", Expected{"badtime", 1, 0, false, true}},
        {"type=file;size=1;modify=20210304050600\r\n", std::nullopt},
        {"type=file;size=1; a/b", std::nullopt},
        {"type=file;size=1; ", std::nullopt},
        {"type=file;broken; x", std::nullopt},
        {"type=file;size=1; tab\there", std::nullopt},
    };
    CheckTable(rows, [](QByteArrayView line) { return ParseMlsdLine(line); });
}

TEST(ListingParser, OnlyAModifyFactTellsTheTimeToTheSecond)
{
    // A copy keeps a listed time only when it is exact; a LIST line's is rounded.
    const struct
    {
        const char* line;
        bool mlsd;
        bool exact;
    } rows[] = {
        {"type=file;size=1;modify=20210304050607; a", true, true},
        {"type=file;size=1;modify=garbage; b", true, false},
        {"type=file;size=1; c", true, false},
        {"-rw-r--r--   1 u g 1 Mar  4 05:06 d", false, false},
        {"-rw-r--r--   1 u g 1 Mar  4  2021 e", false, false},
    };
    for (const auto& row : rows) {
        const std::optional<FtpListEntry> entry =
            row.mlsd ? ParseMlsdLine(row.line) : ParseListLine(row.line, kNow);
        ASSERT_TRUE(entry) << row.line;
        EXPECT_EQ(entry->exactTime, row.exact) << row.line;
    }
}

TEST(ListingParser, ModeFactsThatAreNoPermissionsAreIgnoredHoweverLong)
{
    // The long one once ran an int past its range (the sanitizer build stops on that).
    for (const char* line : {"type=file;unix.mode=0o12345670123456701234; f",
                             "type=file;unix.mode=77777777777777777777777777; f",
                             "type=file;unix.mode=9; f", "type=file;unix.mode=; f"}) {
        const std::optional<FtpListEntry> entry = ParseMlsdLine(line);
        ASSERT_TRUE(entry) << line;
        EXPECT_EQ(entry->permissions, -1) << line;
    }
}

TEST(ListingParser, MlstNamesArePathsOfWhichTheLastPartCounts)
{
    const std::vector<Row> rows = {
        {"type=file;size=9; /pub/dir/file.txt", Expected{"file.txt", 9, 0, false, true}},
        {"type=dir; /pub/dir/", Expected{"dir", 0, 0, true, false}},
        {"type=file;size=9; plain", Expected{"plain", 9, 0, false, true}},
    };
    CheckTable(rows, [](QByteArrayView line) { return ParseMlstLine(line); });
}

TEST(ListingParser, AWholeListingKeepsServerOrderAndRawNames)
{
    const QByteArray listing = "total 3\r\n"
                               "-rw-r--r-- 1 u g 1 Mar 4 2021 b\r\n"
                               "\r\n"
                               "garbage line\n"
                               "-rw-r--r-- 1 u g 2 Mar 4 2021 caf\xe9\n"
                               "-rw-r--r-- 1 u g 3 Mar 4 2021 a";
    const std::vector<FtpListEntry> entries = ParseListing(listing, ListingFormat::List, kNow);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, QStringLiteral("b"));
    EXPECT_EQ(entries[1].name, QStringLiteral("café"));
    EXPECT_EQ(entries[1].rawName, QByteArray("caf\xe9"));
    EXPECT_EQ(entries[2].name, QStringLiteral("a"));
    EXPECT_EQ(entries[2].size, 3u);
}

TEST(ListingParser, AListingInPiecesGivesWhatTheWholeGives)
{
    const QByteArray listing = "total 3\r\n"
                               "-rw-r--r-- 1 u g 1 Mar 4 2021 first\r\n"
                               "-rw-r--r-- 1 u g 2 Mar 4 2021 " +
                               QByteArray(70 * 1024, 'x') +
                               "\r\n"
                               "drwxr-xr-x 2 u g 3 Mar 4 2021 last";
    for (const qsizetype piece : {qsizetype(1), qsizetype(7), qsizetype(4096), listing.size()}) {
        CListingReader reader(ListingFormat::List, kNow);
        for (qsizetype at = 0; at < listing.size(); at += piece)
            reader.Feed(QByteArrayView(listing).sliced(at, std::min(piece, listing.size() - at)));
        reader.Finish();
        const std::vector<FtpListEntry> entries = reader.TakeEntries();
        ASSERT_EQ(entries.size(), 2u) << piece;
        EXPECT_EQ(entries[0].name, QStringLiteral("first")) << piece;
        EXPECT_EQ(entries[1].name, QStringLiteral("last")) << piece;
        EXPECT_TRUE(entries[1].isDirectory) << piece;
    }
}
