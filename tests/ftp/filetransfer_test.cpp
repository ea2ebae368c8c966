// The transfer engine on its own, against a real server, with a report that has no window:
// what it reports block by block, and a Cancel that comes through the report.
#include "ftp/filemessages.h"
#include "ftp/filetransfer.h"
#include "ftp/transferreport.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/localtree.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QDir>

#include <optional>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

// Records what the engine reports; cancels, as a user would, once block `cancelAtBlock` is
// done.
class CRecordingReport : public CTransferReport
{
public:
    void SetTitleLine(const QString&) override {}
    void SetStatusLine(const QString&) override {}
    void SetFrom(const QString&) override {}
    void SetTo(const QString&) override {}
    void ShowTransferControls() override {}
    void ShowCopying(bool copying) override
    {
        copyingSteps.append(copying ? QStringLiteral("copying") : QStringLiteral("ready"));
    }
    void ShowTransferProgress(quint64 bytesDone, const QString& totalText, qint64) override
    {
        progress.push_back(bytesDone);
        totals.append(totalText);
    }
    bool UpdateProgress(quint64 blockIndex, quint64 totalBytes) override
    {
        blocks.push_back(blockIndex);
        blockTotals.push_back(totalBytes);
        if (cancelAtBlock && blockIndex == *cancelAtBlock)
            cancelled = true;
        return PollCancel();
    }
    void ShowFolderProgress(const FolderProgress& tally) override
    {
        folder.append(QStringLiteral("%1/%2 files %3/%4 bytes%5")
                          .arg(tally.filesDone)
                          .arg(tally.filesTotal)
                          .arg(tally.bytesDone)
                          .arg(tally.bytesTotal)
                          .arg(tally.totalKnown ? "" : " so far"));
    }
    void RefreshAtRhythm() override {}
    bool PollCancel() override
    {
        if (cancelled)
            messages.append(FileMessages::CancelledText());
        return !cancelled;
    }
    bool CancelRequested() const override { return cancelled; }
    void WhileWaiting() override {}
    void ReportCopyError(const CInternetException&) override { ReportCopyError(); }
    void ReportCopyError() override { messages.append(FileMessages::CopyFileText()); }
    bool CheckNotInsideSource(const QString& source, const QString& destination) override
    {
        if (!destination.startsWith(source))
            return true;
        messages.append(FileMessages::InsideSourceText());
        return false;
    }
    MsgAnswer ShowMessage(const QString& text, const QString&, MsgIcon, MsgButtons) override
    {
        messages.append(text);
        return MsgAnswer::Ok;
    }
    void Skip(const QString& path, const QString& reason) override
    {
        skipped.append(path + QStringLiteral(": ") + reason);
    }

    std::optional<quint64> cancelAtBlock;
    bool cancelled = false;
    QStringList copyingSteps;
    std::vector<quint64> progress;
    QStringList totals;
    std::vector<quint64> blocks;
    std::vector<quint64> blockTotals;
    QStringList messages;
    QStringList skipped;
    QStringList folder; // each folder tally as it was reported
};

enum class Direction { Upload, Download, ServerToServer };

// 2001-02-03 04:05:06 UTC: a time no copy made today could have by chance.
constexpr qint64 kOldTime = 981173106;

void SetFileTime(const QString& path, qint64 utc)
{
    const struct timespec times[2] = {{utc, 0}, {utc, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0)
        << qPrintable(path);
}

qint64 FileTime(const QString& path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return info.st_mtim.tv_sec;
}

QByteArray Pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
}

} // namespace

class CFileTransferTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { server = new CFtpServerFixture; }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(server->IsRunning());
        const ProfileRecord profile = ProfileFor(*server);
        connection =
            session.GetFtpConnection(profile.address, profile.userId, profile.password, 0, true);
        QString current;
        ASSERT_TRUE(connection->GetCurrentDirectory(current));
        engine.SetLink({connection.get(), &session, profile, nullptr, current});
        local = TestCaseFolder() + QStringLiteral("/local");
        ASSERT_TRUE(QDir().mkpath(local));
    }
    void TearDown() override { connection->Close(); }

    // Copies `content` in `direction` as file `name`; the copy's bytes, "(missing)" if none.
    bool Copy(Direction direction, const QString& name, const QByteArray& content, QString& copy)
    {
        const QString serverPath = QLatin1Char('/') + name;
        const QString localPath = local + QLatin1Char('/') + name;
        switch (direction) {
        case Direction::Upload:
            WriteLocalFile(localPath, content);
            copy = server->Root() + serverPath;
            return engine.UploadFile(localPath, serverPath);
        case Direction::Download:
            server->MakeFile(name, content);
            copy = localPath;
            return engine.DownloadFile(serverPath, localPath);
        case Direction::ServerToServer:
            server->MakeFile(name, content);
            copy = server->Root() + serverPath + QStringLiteral(".copy");
            return engine.CopyFtpFile(serverPath, serverPath + QStringLiteral(".copy"));
        }
        return false;
    }

    static CFtpServerFixture* server;
    CInternetSession session;
    std::unique_ptr<CFtpConnection> connection;
    CRecordingReport report;
    CFileTransfer engine{report};
    QString local;
};

CFtpServerFixture* CFileTransferTest::server = nullptr;

TEST_F(CFileTransferTest, EachWholeBlockIsReportedWithItsProgressAndPoll)
{
    struct Case
    {
        qsizetype size;
        std::vector<quint64> progress; // bytes done after each whole block
    };
    const Case table[] = {
        {999, {}},
        {2500, {1000, 2000}},
        {4000, {1000, 2000, 3000, 4000}},
    };
    int run = 0;
    for (const Direction direction :
         {Direction::Upload, Direction::Download, Direction::ServerToServer}) {
        for (const Case& c : table) {
            SCOPED_TRACE(testing::Message() << "direction " << static_cast<int>(direction) << ", "
                                            << c.size << " bytes");
            report = CRecordingReport();
            const QByteArray content = Pattern(c.size);
            QString copy;
            EXPECT_TRUE(Copy(direction, QStringLiteral("f%1.bin").arg(run++), content, copy));
            EXPECT_EQ(ReadFile(copy), content);
            EXPECT_EQ(report.progress, c.progress);
            std::vector<quint64> indices;
            for (quint64 i = 0; i < c.progress.size(); ++i)
                indices.push_back(i);
            EXPECT_EQ(report.blocks, indices);
            const QString total = QString::number(c.size);
            for (const QString& shown : report.totals)
                EXPECT_EQ(shown, total);
            for (const quint64 blockTotal : report.blockTotals)
                EXPECT_EQ(blockTotal, static_cast<quint64>(c.size));
            EXPECT_EQ(report.copyingSteps, QStringList({"copying", "ready"}));
            EXPECT_TRUE(report.messages.isEmpty()) << qPrintable(report.messages.join('\n'));
        }
    }
}

TEST_F(CFileTransferTest, ACancelThroughTheReportStopsAtThatBlockAndKeepsTheUsersFile)
{
    int run = 0;
    for (const Direction direction :
         {Direction::Upload, Direction::Download, Direction::ServerToServer}) {
        SCOPED_TRACE(testing::Message() << "direction " << static_cast<int>(direction));
        report = CRecordingReport();
        report.cancelAtBlock = 4;
        const QString name = QStringLiteral("c%1.bin").arg(run++);
        // A download finds the user's file there; it must stay as it was.
        const QByteArray users = QByteArrayLiteral("the user's own file");
        if (direction == Direction::Download) {
            WriteLocalFile(local + QLatin1Char('/') + name, users);
            SetFileTime(local + QLatin1Char('/') + name, kOldTime);
        }
        QString copy;
        EXPECT_FALSE(Copy(direction, name, Pattern(50'000), copy));
        EXPECT_EQ(report.progress, (std::vector<quint64>{1000, 2000, 3000, 4000, 5000}));
        EXPECT_FALSE(report.messages.isEmpty());
        for (const QString& message : report.messages)
            EXPECT_EQ(message, FileMessages::CancelledText());
        EXPECT_EQ(report.copyingSteps, QStringList({"copying", "ready"}));
        if (direction == Direction::Download) {
            EXPECT_EQ(ReadFile(copy), users);
            EXPECT_EQ(FileTime(copy), kOldTime) << "a download given up leaves the time too";
        }
    }
}

TEST_F(CFileTransferTest, AFolderTreeGoesOverWhatCannotBeSentReportedAsSkipped)
{
    const QString tree = local + QStringLiteral("/tree");
    const QByteArray first(1500, 'a');
    WriteLocalFile(tree + QStringLiteral("/a.txt"), first);
    WriteLocalFile(tree + QStringLiteral("/sub/b.txt"), "bee");
    const QStringList copied = {QStringLiteral("a.txt=") + QString::fromLatin1(first),
                                QStringLiteral("sub/"), QStringLiteral("sub/b.txt=bee")};
    const QString pipe = tree + QStringLiteral("/sub/pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);

    EXPECT_TRUE(engine.UploadFolder(tree, QStringLiteral("/tree")));
    EXPECT_EQ(TreeOf(server->Root() + QStringLiteral("/tree")), copied);
    ASSERT_EQ(report.skipped.size(), 1);
    EXPECT_TRUE(report.skipped.first().startsWith(pipe + QStringLiteral(": ")));
    EXPECT_EQ(report.progress, std::vector<quint64>{1000});
    EXPECT_EQ(report.copyingSteps, QStringList({"copying", "ready", "copying", "ready"}));
    // Counted before the first file (the pipe not in it), then one step per file in the
    // order the folder lists them.
    ASSERT_EQ(report.folder.size(), 3);
    EXPECT_EQ(report.folder.first(), "0/2 files 0/1503 bytes");
    EXPECT_TRUE(report.folder[1].startsWith("1/2 files ")) << qPrintable(report.folder[1]);
    EXPECT_EQ(report.folder.last(), "2/2 files 1503/1503 bytes");

    // Back again, and into itself on the server: refused before anything is made.
    report.folder.clear();
    EXPECT_TRUE(engine.DownloadFolder(QStringLiteral("/tree"), local + QStringLiteral("/back")));
    // Grown with each listing, known once the last folder is listed: the two listings,
    // the two files, and the tally at the start.
    ASSERT_EQ(report.folder.size(), 5);
    EXPECT_EQ(report.folder.first(), "0/0 files 0/0 bytes so far");
    EXPECT_TRUE(report.folder[1].endsWith(" so far")) << qPrintable(report.folder[1]);
    EXPECT_EQ(report.folder.last(), "2/2 files 1503/1503 bytes");
    EXPECT_EQ(TreeOf(local + QStringLiteral("/back")), copied);
    EXPECT_FALSE(engine.CopyFtpFolder(QStringLiteral("/tree"), QStringLiteral("/tree/inner")));
    EXPECT_EQ(report.messages, QStringList{FileMessages::InsideSourceText()});
}

TEST_F(CFileTransferTest, CopiesKeepTheirSourcesTimeUnlessTurnedOff)
{
    // A file, and a tree of two levels, in each direction; the source's files all carry
    // kOldTime. With the setting on, the copies carry it too; off, the time they were written.
    struct Case
    {
        Direction direction;
        bool folder;
        bool keep;
    };
    const Case table[] = {
        {Direction::Upload, false, true},          {Direction::Download, false, true},
        {Direction::ServerToServer, false, true},  {Direction::Upload, true, true},
        {Direction::Download, true, true},         {Direction::ServerToServer, true, true},
        {Direction::Upload, false, false},         {Direction::Download, true, false},
        {Direction::ServerToServer, false, false},
    };
    const QStringList files = {QStringLiteral("a.txt"), QStringLiteral("sub/b.bin")};
    int run = 0;
    for (const Case& c : table) {
        SCOPED_TRACE(testing::Message()
                     << "direction " << static_cast<int>(c.direction)
                     << (c.folder ? ", folder" : ", file") << (c.keep ? ", kept" : ", not kept"));
        report = CRecordingReport();
        engine.SetKeepTimes(c.keep);
        const QString name = QStringLiteral("t%1").arg(run++);
        const QString serverPath = QLatin1Char('/') + name;
        const QString localPath = local + QLatin1Char('/') + name;
        const QString source =
            c.direction != Direction::Upload ? server->Root() + serverPath : localPath;
        const QString copy = c.direction == Direction::Upload     ? server->Root() + serverPath
                             : c.direction == Direction::Download ? localPath
                                                                  : source + QStringLiteral("c");
        const QStringList paths = c.folder ? files : QStringList{QString()};
        for (const QString& file : paths) {
            const QString path = c.folder ? source + QLatin1Char('/') + file : source;
            WriteLocalFile(path, Pattern(2500));
            SetFileTime(path, kOldTime);
        }
        server->ClearLog();
        bool copied = false;
        switch (c.direction) {
        case Direction::Upload:
            copied = c.folder ? engine.UploadFolder(localPath, serverPath)
                              : engine.UploadFile(localPath, serverPath);
            break;
        case Direction::Download:
            copied = c.folder ? engine.DownloadFolder(serverPath, localPath)
                              : engine.DownloadFile(serverPath, localPath);
            break;
        case Direction::ServerToServer:
            copied = c.folder ? engine.CopyFtpFolder(serverPath, serverPath + QStringLiteral("c"))
                              : engine.CopyFtpFile(serverPath, serverPath + QStringLiteral("c"));
            break;
        }
        EXPECT_TRUE(copied) << qPrintable(report.messages.join('\n'));
        for (const QString& file : paths) {
            const QString path = c.folder ? copy + QLatin1Char('/') + file : copy;
            SCOPED_TRACE(qPrintable(path));
            EXPECT_EQ(ReadFile(path), Pattern(2500));
            if (c.keep)
                EXPECT_EQ(FileTime(path), kOldTime);
            else
                EXPECT_GT(FileTime(path), kOldTime + 365 * 86400);
        }
        // The times come with what was asked anyway (the folder's MLSD, the file's MLST):
        // never asked again.
        EXPECT_EQ(server->CountCommands(QStringLiteral("MDTM")), 0);
        const int sets = c.keep && c.direction != Direction::Download ? paths.size() : 0;
        EXPECT_EQ(server->CountCommands(QStringLiteral("MFMT")), sets);
    }
}

TEST_F(CFileTransferTest, SettingAServerFileTimeIsTrueOnlyWhenTheServerConfirmsIt)
{
    const QString path = server->MakeFile(QStringLiteral("m.txt"), "m");
    EXPECT_TRUE(connection->SetModificationTime(QStringLiteral("/m.txt"), kOldTime));
    EXPECT_EQ(FileTime(path), kOldTime);
    EXPECT_EQ(connection->GetModificationTime(QStringLiteral("/m.txt")), kOldTime);
    // Refused (550), and a time the command cannot carry: false, and the connection is fine.
    EXPECT_FALSE(connection->SetModificationTime(QStringLiteral("/no such file"), kOldTime));
    EXPECT_FALSE(connection->SetModificationTime(QStringLiteral("/m.txt"), -1));
    EXPECT_EQ(connection->GetModificationTime(QStringLiteral("/no such file")), std::nullopt);
    EXPECT_TRUE(connection->IsOpen());
    EXPECT_EQ(FileTime(path), kOldTime);
}
