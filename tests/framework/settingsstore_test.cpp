#include "framework/programfolder.h"
#include "framework/settingsstore.h"
#include "tests/fixtures/testenvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

TEST(SettingsStore, LivesInTheXdgConfigFolderAndKeepsTypes)
{
    EXPECT_EQ(CSettingsStore::FilePath(), TestConfigFolder() + QStringLiteral("/Vantor98c.conf"));
    {
        CSettingsStore store;
        EXPECT_FALSE(store.ReadInt(QStringLiteral("SplitterWidth")).has_value());
        ASSERT_TRUE(store.Open());
        EXPECT_TRUE(store.WriteInt(QStringLiteral("SplitterWidth"), 411));
        EXPECT_TRUE(store.WriteText(QStringLiteral("SortType"), QStringLiteral("3")));
        EXPECT_TRUE(store.Close());
    }
    CSettingsStore again;
    EXPECT_EQ(again.ReadInt(QStringLiteral("SplitterWidth")), 411);
    EXPECT_EQ(again.ReadText(QStringLiteral("SortType")), QStringLiteral("3"));
    EXPECT_FALSE(again.ReadInt(QStringLiteral("SortType2")).has_value());
}

TEST(SettingsStore, AStoreThatCannotBeWrittenFailsToOpen)
{
    // A folder in the file's place defeats writing even for root.
    ASSERT_TRUE(QDir().mkpath(CSettingsStore::FilePath()));
    CSettingsStore store;
    EXPECT_FALSE(store.Open());
    EXPECT_FALSE(store.WriteInt(QStringLiteral("SplitterWidth"), 1));
    EXPECT_FALSE(store.ReadInt(QStringLiteral("SplitterWidth")).has_value());
}

TEST(ProgramFolder, GetsOneTrailingSlash)
{
    EXPECT_EQ(ProgramFolderOf(QStringLiteral("/home/u/vantor")), QStringLiteral("/home/u/vantor/"));
    EXPECT_EQ(ProgramFolderOf(QStringLiteral("/home/u/vantor/")), QStringLiteral("/home/u/vantor/"));
    EXPECT_EQ(ProgramFolderOf(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(CurrentProgramFolder(), TestProgramFolder());
}
