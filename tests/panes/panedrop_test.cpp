// What a drop copies, with which routine and title, and which drops are refused.
#include "panes/panedrop.h"
#include "tests/fixtures/qtprint.h"

#include <gtest/gtest.h>

namespace {

const QString kUp = QStringLiteral("Copying files from Local Computer to FTP Server - Please Wait");
const QString kDown =
    QStringLiteral("Copying files from FTP Server to Local Computer - Please Wait");
const QString kFtpFtp = QStringLiteral("Copying files from FTP Server to FTP Server - Please Wait");

struct Row
{
    const char* what;
    int sourceSide;
    int targetSide;
    const char* targetFolder;
    const char* sourcePath;
    bool isFolder;
    bool refused;
    DropRoutine routine;
    QString title;
    const char* destination;
};

} // namespace

TEST(PaneDrop, DirectionsTitlesPathsAndRefusals)
{
    using R = DropRoutine;
    // clang-format off
    const Row rows[] = {
        // The direction table, a file and a folder each way.
        {"local file to local", 0, 0, "/h/b/", "/h/a/x.txt", false, false, R::CopyLocalFile, {},
         "/h/b/x.txt"},
        {"local folder to local", 0, 0, "/h/b/", "/h/a/d", true, false, R::CopyLocalFolder, {},
         "/h/b/d"},
        {"local file up", 0, 1, "/pub/", "/h/a/x.txt", false, false, R::UploadFile, kUp,
         "/pub/x.txt"},
        {"local folder up, trailing slash", 0, 1, "//pub/", "/h/a/d/", true, false,
         R::UploadFolder, kUp, "//pub/d"},
        {"server file down", 1, 0, "/h/", "/pub/x.txt", false, false, R::DownloadFile, kDown,
         "/h/x.txt"},
        {"server folder down", 1, 0, "/h/", "/pub/d", true, false, R::DownloadFolder, kDown,
         "/h/d"},
        {"server file to server", 1, 1, "/in/", "/pub/x.txt", false, false, R::CopyFtpFile,
         kFtpFtp, "/in/x.txt"},
        {"server folder to server", 1, 1, "/in/", "/pub/d", true, false, R::CopyFtpFolder,
         kFtpFtp, "/in/d"},
        // The same path on the other side is another file.
        {"same path, other side", 0, 1, "/h/a/", "/h/a/x.txt", false, false, R::UploadFile, kUp,
         "/h/a/x.txt"},
        // Onto the folder that holds the item: onto itself.
        {"file onto its own folder", 0, 0, "/h/a/", "/h/a/x.txt", false, true, R::CopyLocalFile,
         {}, ""},
        {"server file onto its own folder", 1, 1, "/pub/", "/pub/x.txt", false, true,
         R::CopyFtpFile, kFtpFtp, ""},
        {"folder onto its own parent", 0, 0, "/h/", "/h/d/", true, true, R::CopyLocalFolder, {},
         ""},
        {"server root spelt twice", 1, 1, "//", "/x", true, true, R::CopyFtpFolder, kFtpFtp, ""},
        {"server folder, doubled slashes", 1, 1, "//pub/", "/pub/d", true, true, R::CopyFtpFolder,
         kFtpFtp, ""},
        // Into itself or below it.
        {"folder into itself", 0, 0, "/h/d/", "/h/d", true, true, R::CopyLocalFolder, {}, ""},
        {"folder into its subfolder", 1, 1, "/pub/d/e/", "/pub/d", true, true, R::CopyFtpFolder,
         kFtpFtp, ""},
        // A sibling whose name begins with the folder's is another folder; case counts.
        {"sibling with a longer name", 1, 1, "/pub/ab/", "/pub/a", true, false, R::CopyFtpFolder,
         kFtpFtp, "/pub/ab/a"},
        {"other case is another folder", 0, 0, "/h/Data/", "/h/data/x", false, false,
         R::CopyLocalFile, {}, "/h/Data/x"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const QString source = QString::fromUtf8(row.sourcePath);
        DropRequest request;
        request.sourceSide = SideOf(row.sourceSide);
        request.targetSide = SideOf(row.targetSide);
        request.targetFolder = QString::fromUtf8(row.targetFolder);
        request.items.append(
            {source, WithoutTrailingSlash(source).section(QLatin1Char('/'), -1), row.isFolder});
        const DropPlan plan = PlanDrop(request);
        EXPECT_EQ(plan.refused, row.refused);
        EXPECT_EQ(plan.title, row.title);
        if (row.refused) {
            EXPECT_TRUE(plan.steps.isEmpty());
            continue;
        }
        ASSERT_EQ(plan.steps.size(), 1);
        EXPECT_EQ(plan.steps[0].routine, row.routine);
        // The copy takes its direction from the step's routine alone.
        EXPECT_EQ(SourceIsFtp(plan.steps[0].routine), row.sourceSide == 1);
        EXPECT_EQ(TargetIsFtp(plan.steps[0].routine), row.targetSide == 1);
        EXPECT_EQ(plan.steps[0].source, WithoutTrailingSlash(source));
        EXPECT_EQ(plan.steps[0].destination, QString::fromUtf8(row.destination));
        EXPECT_EQ(plan.steps[0].isFolder, row.isFolder);
    }
}

TEST(PaneDrop, OneItemOntoItselfRefusesTheWholeSelection)
{
    // "a" and "b.txt" dropped onto "a": nothing may be copied, not even "b.txt" first.
    DropRequest request;
    request.sourceSide = PaneSide::Ftp;
    request.targetSide = PaneSide::Ftp;
    request.targetFolder = QStringLiteral("/pub/a/");
    request.items = {{QStringLiteral("/pub/b.txt"), QStringLiteral("b.txt"), false},
                     {QStringLiteral("/pub/a"), QStringLiteral("a"), true}};
    const DropPlan refused = PlanDrop(request);
    EXPECT_TRUE(refused.refused);
    EXPECT_TRUE(refused.steps.isEmpty());

    request.targetFolder = QStringLiteral("/in/");
    const DropPlan copied = PlanDrop(request);
    EXPECT_FALSE(copied.refused);
    ASSERT_EQ(copied.steps.size(), 2);
    EXPECT_EQ(copied.steps[0].destination, QStringLiteral("/in/b.txt"));
    EXPECT_EQ(copied.steps[1].destination, QStringLiteral("/in/a"));
}
