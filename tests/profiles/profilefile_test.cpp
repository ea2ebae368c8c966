// Profiles.dat, byte for byte: the three length forms, the count word, the text encodings,
// damaged files, and the saves that must never lose the old file.
#include "app/vantorapp.h"
#include "profiles/profilefile.h"
#include "profiles/profileformat.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', "").replace('|', ""));
}

QByteArray Le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

// One record with one-byte strings, written by hand so that the reader is checked against
// the format, not against the writer.
QByteArray Record(const QByteArray& name, const QByteArray& address, bool isDefault = false,
                  bool isActive = false)
{
    return char(name.size()) + name + char(address.size()) + address + Le32(0) + //
           Hex("02") + "id" + Hex("02") + "pw" + Hex("00 00") + Le32(isDefault) + Le32(isActive);
}

QString ProfilePath()
{
    return TestProgramFolder() + QStringLiteral("Profiles.dat");
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

int ModeOf(const QString& path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

ProfileRecord Profile(const QString& name, const QString& address = QStringLiteral("h"))
{
    ProfileRecord record;
    record.name = name;
    record.address = address;
    record.userId = QStringLiteral("user");
    record.password = QStringLiteral("secret");
    return record;
}

QList<ProfileRecord> Load()
{
    QList<ProfileRecord> profiles;
    LoadProfiles(ProfilePath(), profiles);
    return profiles;
}

// The 30-byte example: "abc" at "h", anonymous, default and active.
const char* kExample = "A1 86 01 00 | 00 00 00 00 | 03 61 62 63 | 01 68 | 01 00 00 00 | 00 | 00 "
                       "| 00 | 00 | 01 00 00 00 | 01 00 00 00";

} // namespace

TEST(ProfileFile, TheThirtyByteExampleIsWrittenAndReadByteForByte)
{
    ProfileRecord abc;
    abc.name = QStringLiteral("abc");
    abc.address = QStringLiteral("h");
    abc.anonymous = true;
    abc.isDefault = true;
    abc.isActive = true;

    ASSERT_TRUE(SaveProfiles(ProfilePath(), {abc}));
    EXPECT_EQ(ReadFile(ProfilePath()).toHex(' '), Hex(kExample).toHex(' '));

    const QList<ProfileRecord> read = Load();
    ASSERT_EQ(read.size(), 1);
    EXPECT_EQ(read[0], abc);
    EXPECT_EQ(theApp().profileFileReserved, 0);
}

TEST(ProfileFile, CountWordAndReservedWord)
{
    struct Case
    {
        const char* what;
        qint32 countWord;
        bool withReserved;
        qsizetype profiles;
    };
    const Case cases[] = {
        {"2: two profiles, no reserved word", 2, false, 2},
        {"100000: that many profiles, no reserved word", 100000, false, 100000},
        {"100001: one profile after a reserved word", 100001, true, 1},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        QByteArray bytes = Le32(quint32(test.countWord));
        if (test.withReserved)
            bytes += Le32(4711);
        const QByteArray record = Record("n", "a");
        for (qsizetype i = 0; i < test.profiles; ++i)
            bytes += record;

        const ProfileFileContent content = DecodeProfileFile(bytes);
        EXPECT_FALSE(content.damaged);
        EXPECT_EQ(content.profiles.size(), test.profiles);
        EXPECT_EQ(content.reserved, test.withReserved ? 4711 : 0);
    }
}

TEST(ProfileFile, TheReservedWordIsKeptAndAlwaysWritten)
{
    // Read with a reserved word: the same word goes back.
    WriteFile(ProfilePath(), Le32(100001) + Le32(0x12345678) + Record("n", "a"));
    QList<ProfileRecord> profiles = Load();
    ASSERT_TRUE(SaveProfiles(ProfilePath(), profiles));
    EXPECT_EQ(ReadFile(ProfilePath()).left(8), Le32(100001) + Le32(0x12345678));

    // Read without one: the default 0 is written, and the count word announces it.
    WriteFile(ProfilePath(), Le32(1) + Record("n", "a"));
    profiles = Load();
    ASSERT_TRUE(SaveProfiles(ProfilePath(), profiles));
    EXPECT_EQ(ReadFile(ProfilePath()).left(8), Le32(100001) + Le32(0));
}

TEST(ProfileFile, LengthFormsOnWriting)
{
    struct Case
    {
        qsizetype length;
        QByteArray prefix;
    };
    const Case cases[] = {
        {0, Hex("00")},
        {100, Hex("64")},
        {254, Hex("FE")},
        {255, Hex("FF FF 00")},
        {300, Hex("FF 2C 01")},
        {65533, Hex("FF FD FF")},
        // 0xFFFE and 0xFFFF are the markers of the other forms.
        {65534, Hex("FF FF FF FE FF 00 00")},
        {70000, Hex("FF FF FF 70 11 01 00")},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.length);
        ProfileRecord record = Profile(QString(test.length, QLatin1Char('x')));
        const QByteArray bytes = EncodeProfileFile({record}, 0);
        EXPECT_EQ(bytes.mid(8, test.prefix.size()).toHex(' '), test.prefix.toHex(' '));

        const ProfileFileContent content = DecodeProfileFile(bytes);
        ASSERT_EQ(content.profiles.size(), 1);
        EXPECT_FALSE(content.damaged);
        EXPECT_EQ(content.profiles[0], record);
    }
}

TEST(ProfileFile, StringFormsOnReading)
{
    struct Case
    {
        const char* what;
        QByteArray encoded;
        QString name;
    };
    const QByteArray x300(300, 'x');
    const QByteArray x70000(70000, 'x');
    QByteArray wide300;
    for (int i = 0; i < 300; ++i)
        wide300 += Hex("E9 00");
    const Case cases[] = {
        {"one-byte length", Hex("03") + "abc", QStringLiteral("abc")},
        {"16-bit length", Hex("FF 2C 01") + x300, QString(x300)},
        {"32-bit length", Hex("FF FF FF") + Le32(70000) + x70000, QString(x70000)},
        {"16-bit characters", Hex("FF FE FF 03 61 00 62 00 AC 20"), QStringLiteral("ab€")},
        {"16-bit characters, long", Hex("FF FE FF FF 2C 01") + wide300, QString(300, QChar(0xE9))},
        {"UTF-8", Hex("07") + "Z\xC3\xBCrich", QStringLiteral("Zürich")},
        {"Windows-1252", Hex("06") + "Z\xFCrich", QStringLiteral("Zürich")},
        {"Windows-1252 high controls", Hex("03 80 93 94"), QStringLiteral("€“”")},
        {"cut UTF-8 sequence", Hex("04") + "abc\xC3", QStringLiteral("abcÃ")},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const QByteArray bytes = Le32(1) + test.encoded + Hex("01") + "h" + Le32(0) +
                                 Hex("00 00 00 00") + Le32(0) + Le32(0);
        const ProfileFileContent content = DecodeProfileFile(bytes);
        EXPECT_FALSE(content.damaged);
        ASSERT_EQ(content.profiles.size(), 1);
        EXPECT_EQ(content.profiles[0].name, test.name);
        EXPECT_EQ(content.profiles[0].address, QStringLiteral("h"));
    }
}

TEST(ProfileFile, TextIsWrittenAsUtf8CountingBytes)
{
    const QByteArray bytes = EncodeProfileFile({Profile(QStringLiteral("Zürich €"))}, 0);
    EXPECT_EQ(bytes.mid(8, 12), Hex("0B") + "Z\xC3\xBCrich \xE2\x82\xAC");
}

TEST(ProfileFile, UntrustedCountsAndLengthsAreDamage)
{
    struct Case
    {
        const char* what;
        QByteArray bytes;
        qsizetype kept;
    };
    const QByteArray one = Record("a", "b");
    const Case cases[] = {
        {"two billion profiles in a short file", Le32(2000000000) + Le32(0) + one, 1},
        {"a 32-bit length past the end", Le32(2) + one + Hex("FF FF FF F0 FF FF FF") + "abc", 1},
        {"a 16-bit length past the end", Le32(1) + Hex("FF 00 F0") + "abc", 0},
        {"16-bit characters past the end", Le32(1) + Hex("FF FE FF 08 61 00"), 0},
        {"two 16-bit markers", Le32(1) + Hex("FF FE FF FF FE FF 00"), 0},
        {"a negative count", Le32(0x80000000u) + one, 0},
        {"no count word", Hex("A1 86"), 0},
        {"no reserved word", Le32(100002) + Hex("00 00"), 0},
        // A count word that lost profiles: the rest must not vanish with the next save.
        {"a record after the last one", Le32(100001) + Le32(0) + one + one, 1},
        {"bytes after a count of 0", Le32(0) + one, 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const ProfileFileContent content = DecodeProfileFile(test.bytes);
        EXPECT_TRUE(content.damaged);
        EXPECT_EQ(content.profiles.size(), test.kept);
    }
}

TEST(ProfileFile, ArbitraryBytesNeverBreakTheDecoder)
{
    // The shape of the fuzz target: whatever the bytes, the decoder returns.
    QRandomGenerator random(20240601);
    const QByteArray valid = EncodeProfileFile({Profile("a"), Profile("b")}, 0);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = valid;
        const int flips = 1 + int(random.bounded(4));
        for (int i = 0; i < flips; ++i)
            bytes[int(random.bounded(int(bytes.size())))] = char(random.bounded(256));
        bytes.truncate(int(random.bounded(int(bytes.size()) + 1)));
        const ProfileFileContent content = DecodeProfileFile(bytes);
        EXPECT_LE(content.profiles.size(), 2 + bytes.size() / 19);
    }
}

TEST(ProfileFile, EveryTruncationKeepsTheCompleteRecordsWithOneMessage)
{
    const QStringList names = {"first", "second", "third"};
    QList<ProfileRecord> three;
    // Where the k-th record ends: the size of a file of the first k records.
    QList<qsizetype> ends;
    for (const QString& name : names) {
        three.append(Profile(name));
        ends.append(EncodeProfileFile(three, 0).size());
    }
    const QByteArray full = EncodeProfileFile(three, 0);
    for (qsizetype cut = 0; cut < full.size(); ++cut) {
        SCOPED_TRACE(cut);
        WriteFile(ProfilePath(), full.left(cut));
        QStringList texts;
        QList<ProfileRecord> profiles;
        {
            CScopedMessageBoxHandler record([&](const MessageBoxRequest& request) {
                texts.append(request.text);
                return MsgAnswer::Ok;
            });
            EXPECT_FALSE(LoadProfiles(ProfilePath(), profiles));
        }
        const qsizetype kept =
            std::count_if(ends.begin(), ends.end(), [cut](qsizetype end) { return end <= cut; });
        ASSERT_EQ(texts.size(), 1);
        EXPECT_TRUE(texts[0].contains(ProfilePath()));
        const QString count = kept == 0   ? QStringLiteral("No profile could be read")
                              : kept == 1 ? QStringLiteral("1 profile could be read")
                                          : QStringLiteral("%1 profiles could be read").arg(kept);
        EXPECT_TRUE(texts[0].contains(count)) << texts[0].toStdString();
        if (kept == 0) {
            ASSERT_EQ(profiles.size(), 1);
            EXPECT_EQ(profiles[0], FirstRunProfile());
        } else {
            ASSERT_EQ(profiles.size(), kept);
            for (qsizetype i = 0; i < kept; ++i)
                EXPECT_EQ(profiles[i].name, names[i]);
        }
    }
}

TEST(ProfileFile, AnEmptyListIsWrittenSoThatItReadsBackEmpty)
{
    const ProfileFileContent content = DecodeProfileFile(EncodeProfileFile({}, 7));
    EXPECT_FALSE(content.damaged);
    EXPECT_TRUE(content.profiles.isEmpty());
}

TEST(ProfileFile, TheStoredActiveFlagDoesNotDecide)
{
    WriteFile(ProfilePath(), Le32(100003) + Le32(0) + Record("a", "x", false, true) +
                                 Record("b", "x", false, true) + Record("c", "x"));
    theApp().activeProfileIndex = 2;
    const QList<ProfileRecord> profiles = Load();
    ASSERT_EQ(profiles.size(), 3);
    EXPECT_FALSE(profiles[0].isActive);
    EXPECT_FALSE(profiles[1].isActive);
    EXPECT_TRUE(profiles[2].isActive);
}

TEST(ProfileFile, AnActiveIndexOutsideTheListFallsBackToTheFirstProfile)
{
    // The file was replaced while the program ran and now holds fewer profiles.
    WriteFile(ProfilePath(), Le32(100002) + Le32(0) + Record("a", "x") + Record("b", "y"));
    theApp().activeProfileIndex = 5;
    theApp().activeProfile.name = QStringLiteral("gone");
    const QList<ProfileRecord> profiles = Load();
    ASSERT_EQ(profiles.size(), 2);
    EXPECT_EQ(theApp().activeProfileIndex, 0);
    EXPECT_TRUE(profiles[0].isActive);
    EXPECT_FALSE(profiles[1].isActive);
    EXPECT_EQ(theApp().activeProfile.name, QStringLiteral("a"));
    EXPECT_EQ(theApp().activeProfile.address, QStringLiteral("x"));
}

TEST(ProfileFile, StartUpMakesTheDefaultProfileActive)
{
    struct Case
    {
        const char* what;
        QList<bool> defaults;
        int active;
    };
    const Case cases[] = {
        {"the one default", {false, true, false}, 1},
        {"several defaults: the first wins", {false, true, true}, 1},
        {"no default: the first profile", {false, false, false}, 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        QByteArray bytes = Le32(100000 + quint32(test.defaults.size())) + Le32(0);
        for (qsizetype i = 0; i < test.defaults.size(); ++i)
            bytes += Record(QByteArray(1, char('a' + i)), "host", test.defaults[i], i == 2);
        WriteFile(ProfilePath(), bytes);

        theApp().activeProfileIndex = 0;
        ASSERT_TRUE(LoadStartupProfile(ProfilePath()));
        EXPECT_EQ(theApp().activeProfileIndex, test.active);
        EXPECT_EQ(theApp().activeProfile.name, QString(QChar('a' + test.active)));
        EXPECT_EQ(theApp().activeProfile.userId, QStringLiteral("id"));
        EXPECT_EQ(theApp().activeProfile.password, QStringLiteral("pw"));
        EXPECT_TRUE(theApp().activeProfile.isActive);
    }
}

TEST(ProfileFile, AFirstRunHasLocalhostAndWritesNothing)
{
    struct Case
    {
        const char* what;
        std::optional<QByteArray> file;
    };
    const Case cases[] = {
        {"no file", std::nullopt},
        {"a count word of 0", Le32(0)},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        QFile::remove(ProfilePath());
        if (test.file)
            WriteFile(ProfilePath(), *test.file);

        ASSERT_TRUE(LoadStartupProfile(ProfilePath()));
        EXPECT_EQ(theApp().activeProfileIndex, 0);
        EXPECT_EQ(theApp().activeProfile, FirstRunProfile());
        EXPECT_EQ(theApp().activeProfile.address, QStringLiteral("localhost"));
        EXPECT_TRUE(theApp().activeProfile.anonymous);
        EXPECT_EQ(QFileInfo::exists(ProfilePath()), test.file.has_value());
        if (test.file) {
            EXPECT_EQ(ReadFile(ProfilePath()), *test.file);
        }
    }
}

TEST(ProfileFile, SavedFilesAreOwnerOnly)
{
    ASSERT_TRUE(SaveProfiles(ProfilePath(), {Profile("a")}));
    EXPECT_EQ(ModeOf(ProfilePath()), 0600);

    // A file left readable by others is tightened by the next save.
    ASSERT_EQ(::chmod(QFile::encodeName(ProfilePath()).constData(), 0644), 0);
    ASSERT_TRUE(SaveProfiles(ProfilePath(), {Profile("a"), Profile("b")}));
    EXPECT_EQ(ModeOf(ProfilePath()), 0600);
    EXPECT_EQ(Load().size(), 2);
}

TEST(ProfileFile, ADamagedFileIsKeptBeforeItIsReplaced)
{
    const QByteArray damaged = Le32(100003) + Le32(0) + Record("a", "x") + Hex("05 61");
    WriteFile(ProfilePath(), damaged);
    ::chmod(QFile::encodeName(ProfilePath()).constData(), 0644);
    const QString backup = ProfilePath() + QStringLiteral(".bak");

    CMessageBoxScript boxes;
    boxes.Expect(QStringLiteral("The profile file \"%1\" is damaged. 1 profile could be read."
                                "\n\nThe file will be kept as \"%2\" when the profiles are next "
                                "saved, so nothing in it is lost.")
                     .arg(ProfilePath(), backup),
                 QStringLiteral("Profile File Error"), MsgIcon::Stop);
    QList<ProfileRecord> profiles = Load();
    ASSERT_EQ(profiles.size(), 1);

    ASSERT_TRUE(SaveProfiles(ProfilePath(), profiles));
    EXPECT_EQ(ReadFile(backup), damaged);
    EXPECT_EQ(ModeOf(backup), 0600);
    EXPECT_FALSE(DecodeProfileFile(ReadFile(ProfilePath())).damaged);

    // A sound file is replaced without a backup; a second damage does not overwrite the first.
    ASSERT_TRUE(SaveProfiles(ProfilePath(), profiles));
    EXPECT_FALSE(QFileInfo::exists(backup + QStringLiteral(".2")));
    WriteFile(ProfilePath(), Hex("01"));
    ASSERT_TRUE(SaveProfiles(ProfilePath(), profiles));
    EXPECT_EQ(ReadFile(backup), damaged);
    EXPECT_EQ(ReadFile(backup + QStringLiteral(".2")), Hex("01"));
    EXPECT_EQ(boxes.Shown().size(), 1);
}

TEST(ProfileFile, AFolderInThePlaceOfTheFileIsNeitherReadNorReplaced)
{
    ASSERT_TRUE(QDir().mkpath(ProfilePath() + QStringLiteral("/inside")));

    CMessageBoxScript boxes;
    boxes.Expect(QStringLiteral("The profile file \"%1\" could not be read: a folder stands in its "
                                "place. No profile could be read; a profile for this computer "
                                "(localhost) is used instead.\n\nThe profiles cannot be saved "
                                "until it is moved away.")
                     .arg(ProfilePath()));
    ASSERT_TRUE(LoadStartupProfile(ProfilePath()));
    EXPECT_EQ(theApp().activeProfile, FirstRunProfile());

    boxes.Expect(QStringLiteral("The profiles could not be saved to \"%1\": a folder stands in "
                                "its place.\n\nThe file was left as it was.")
                     .arg(ProfilePath()),
                 QStringLiteral("Profiles Not Saved"), MsgIcon::Stop);
    EXPECT_FALSE(SaveProfiles(ProfilePath(), {FirstRunProfile()}));
    EXPECT_TRUE(QFileInfo(ProfilePath() + QStringLiteral("/inside")).isDir());
    EXPECT_FALSE(QFileInfo::exists(ProfilePath() + QStringLiteral(".bak")));
}

TEST(ProfileFile, ASaveThatFailsKeepsTheOldFile)
{
    // A program folder that has gone: nothing to keep, but a clear message.
    {
        const QString gone = TestCaseFolder() + QStringLiteral("/gone/Profiles.dat");
        CMessageBoxScript boxes;
        boxes.Expect(QStringLiteral("The profiles could not be saved to \"%1\": No such file or "
                                    "directory.\n\nThe file was left as it was.")
                         .arg(gone));
        EXPECT_FALSE(SaveProfiles(gone, {Profile("a")}));
    }

    // A disk that fills up in the middle of the file (a file size limit stops root too).
    const QByteArray old = EncodeProfileFile({Profile("old")}, 0);
    WriteFile(ProfilePath(), old);
    QList<ProfileRecord> many;
    for (int i = 0; i < 500; ++i)
        many.append(Profile(QStringLiteral("profile %1").arg(i)));
    ASSERT_GT(EncodeProfileFile(many, 0).size(), 3 * 4096);

    rlimit saved = {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 5000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    QString reason;
    const bool written = WriteProfiles(ProfilePath(), many, 0, reason);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(ReadFile(ProfilePath()), old);
    // No half-written file is left beside it.
    const QStringList left = QDir(TestProgramFolder()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, QStringList({QStringLiteral("Profiles.dat")}));
}
