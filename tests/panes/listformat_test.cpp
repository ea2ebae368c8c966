// Sort keys, size and date texts of the list panes.
#include "panes/listformat.h"

#include <QCollator>
#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

DirEntry File(const char* name, quint64 size = 0, qint64 time = 0)
{
    DirEntry entry;
    entry.name = QString::fromUtf8(name);
    entry.size = size;
    entry.writeTime = time;
    return entry;
}

DirEntry Folder(const char* name, qint64 time = 0)
{
    DirEntry entry = File(name, 0, time);
    entry.attributes = kFolderAttribute;
    return entry;
}

// The names in the order the panes show them under `kind`.
QStringList Ordered(QList<DirEntry> entries, SortKeyKind kind)
{
    const QCollator collator = PaneCollator();
    std::stable_sort(entries.begin(), entries.end(), [&](const DirEntry& a, const DirEntry& b) {
        return collator.compare(BuildSortKey(a, kind).toCaseFolded(),
                                BuildSortKey(b, kind).toCaseFolded()) < 0;
    });
    QStringList names;
    for (const DirEntry& entry : entries)
        names.append(entry.name);
    return names;
}

} // namespace

TEST(SortKey, ExtensionRuleAndPrefixes)
{
    struct Case
    {
        DirEntry entry;
        SortKeyKind kind;
        const char* key;
    };
    const Case cases[] = {
        {File("report.txt"), SortKeyKind::Name, "1report.txt"},
        {Folder("docs"), SortKeyKind::Name, "0docs"},
        {File("report.txt"), SortKeyKind::Extension, "1txt.report"},
        {File("a.b.c"), SortKeyKind::Extension, "1c.a.b"},
        {File(".profile"), SortKeyKind::Extension, "1profile."},
        {File("noext"), SortKeyKind::Extension, "1.noext"},
        {File("name."), SortKeyKind::Extension, "1.name."},
        {Folder("v1.2"), SortKeyKind::Extension, "02.v1"},
        {File("x", 5000000000ULL), SortKeyKind::Size, "100000000005000000000x"},
        {File("x", 18446744073709551615ULL), SortKeyKind::Size, "118446744073709551615x"},
        // Times are shifted by 2^63 so that dates before 1970 sort first.
        {File("x", 0, 0), SortKeyKind::Date, "109223372036854775808x"},
        {File("x", 0, -1), SortKeyKind::Date, "109223372036854775807x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildSortKey(c.entry, c.kind).toStdString(), c.key)
            << "name " << c.entry.name.toStdString();
    }
}

TEST(SortKey, OrderUnderEachKey)
{
    const QList<DirEntry> entries = {
        File("b.txt", 300, 3000),   File("A.doc", 100, 5000),
        File("noext", 100, 1000),   File(".profile", 5000000000ULL, 2000),
        File("a.b.c", 20, 4000),    File("name.", 0, 500),
        Folder("zeta", 100),        Folder("Alpha", 900),
        File("C10.txt", 300, 3000), File("c9.txt", 300, 3000),
    };
    EXPECT_EQ(Ordered(entries, SortKeyKind::Name),
              (QStringList{"Alpha", "zeta", ".profile", "a.b.c", "A.doc", "b.txt", "C10.txt",
                           "c9.txt", "name.", "noext"}));
    // Names without an extension, and names ending in ".", come first in their group.
    EXPECT_EQ(Ordered(entries, SortKeyKind::Extension),
              (QStringList{"Alpha", "zeta", "name.", "noext", "a.b.c", "A.doc", ".profile", "b.txt",
                           "C10.txt", "c9.txt"}));
    // Folders first (all size 0, so by name); equal sizes by name; 5 GB after 300 bytes.
    EXPECT_EQ(Ordered(entries, SortKeyKind::Size),
              (QStringList{"Alpha", "zeta", "name.", "a.b.c", "A.doc", "noext", "b.txt", "C10.txt",
                           "c9.txt", ".profile"}));
    EXPECT_EQ(Ordered(entries, SortKeyKind::Date),
              (QStringList{"zeta", "Alpha", "name.", "noext", ".profile", "b.txt", "C10.txt",
                           "c9.txt", "a.b.c", "A.doc"}));
}

TEST(SizeText, CommasBetweenGroupsOfThree)
{
    const struct
    {
        quint64 size;
        const char* text;
    } cases[] = {
        {0, "0"},
        {999, "999"},
        {1000, "1,000"},
        {999999, "999,999"},
        {1000000, "1,000,000"},
        {4294967295ULL, "4,294,967,295"},
        {5000000000ULL, "5,000,000,000"},
        {18446744073709551615ULL, "18,446,744,073,709,551,615"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatSizeText(c.size).toStdString(), c.text);
}

TEST(DateText, LocalTimeWithoutLeadingZeros)
{
    const struct
    {
        int year, month, day, hour, minute;
        const char* text;
    } cases[] = {
        {2007, 3, 7, 14, 5, "3/7/07 2:05 PM"},
        {2007, 3, 7, 0, 0, "3/7/07 12:00 AM"},
        {2010, 12, 31, 12, 59, "12/31/10 12:59 PM"},
        {2040, 1, 2, 9, 30, "1/2/40 9:30 AM"}, // after 2038
    };
    for (const auto& c : cases) {
        const QDateTime local(QDate(c.year, c.month, c.day), QTime(c.hour, c.minute),
                              Qt::LocalTime);
        EXPECT_EQ(FormatDateText(local.toSecsSinceEpoch()).toStdString(), c.text);
    }
    // A time the C library cannot convert leaves only the separators.
    EXPECT_EQ(FormatDateText(std::numeric_limits<qint64>::max()).toStdString(), "// : ");
}
