#include "profiles/profilefile.h"

#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "profiles/profileformat.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <sys/stat.h>

namespace {

const QString kReadErrorCaption = QStringLiteral("Profile File Error");
const QString kSaveErrorCaption = QStringLiteral("Profiles Not Saved");
constexpr int kMaxBackups = 999;

// What is found at the profile file's path.
enum class StoredState { Missing, Sound, Damaged, Unreadable, NotAFile };

struct StoredFile
{
    StoredState state = StoredState::Missing;
    ProfileFileContent content;
    QString reason; // why it could not be read, for Unreadable and NotAFile
};

StoredFile ReadStored(const QString& path)
{
    StoredFile stored;
    const QFileInfo info(path);
    if (!info.exists())
        return stored;
    if (!info.isFile()) {
        stored.state = StoredState::NotAFile;
        stored.reason = info.isDir() ? QStringLiteral("a folder stands in its place")
                                     : QStringLiteral("it is not a regular file");
        return stored;
    }
    // Unbuffered: the reader's own 4096-byte buffer is the only one.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        stored.state = StoredState::Unreadable;
        stored.reason = file.errorString();
        return stored;
    }
    stored.content = ReadProfileFile(file);
    if (!stored.content.deviceError.isEmpty()) {
        stored.state = StoredState::Unreadable;
        stored.reason = stored.content.deviceError;
    } else {
        stored.state = stored.content.damaged ? StoredState::Damaged : StoredState::Sound;
    }
    return stored;
}

QString ProfileCount(qsizetype count)
{
    if (count == 0)
        return QStringLiteral("no profile");
    if (count == 1)
        return QStringLiteral("1 profile");
    return QStringLiteral("%1 profiles").arg(count);
}

QWidget* MessageOwner()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return theApp().MainWindow();
}

void ReportUnreadFile(const QString& path, const StoredFile& stored)
{
    const qsizetype read = stored.content.profiles.size();
    QString text = stored.state == StoredState::Damaged
                       ? QStringLiteral("The profile file \"%1\" is damaged.").arg(path)
                       : QStringLiteral("The profile file \"%1\" could not be read: %2.")
                             .arg(path, stored.reason);
    QString count = ProfileCount(read);
    count[0] = count[0].toUpper();
    text += QStringLiteral(" %1 could be read").arg(count);
    text += read == 0 ? QStringLiteral("; a profile for this computer (localhost) is used instead.")
                      : QStringLiteral(".");
    if (stored.state == StoredState::NotAFile) {
        text += QStringLiteral("\n\nThe profiles cannot be saved until it is moved away.");
    } else {
        text += QStringLiteral("\n\nThe file will be kept as \"%1\" when the profiles are next "
                               "saved, so nothing in it is lost.")
                    .arg(BackupPathFor(path));
    }
    ShowMessageBox(MessageOwner(), text, kReadErrorCaption, MsgIcon::Stop);
}

// Keeps the file at `path` under a free backup name: a copy where it can be read, the file
// itself moved aside where it cannot. `moved` tells the caller to move it back on failure.
bool KeepBackup(const QString& path, QString& backup, bool& moved, QString& reason)
{
    moved = false;
    backup = BackupPathFor(path);
    if (backup.isEmpty()) {
        reason = QStringLiteral("there is no free name to keep the damaged file under");
        return false;
    }
    if (QFile::copy(path, backup)) {
        // It holds passwords, like the file itself.
        QFile::setPermissions(backup, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return true;
    }
    if (std::rename(QFile::encodeName(path).constData(), QFile::encodeName(backup).constData()) ==
        0) {
        moved = true;
        return true;
    }
    reason = QStringLiteral("the damaged file could not be kept as \"%1\"").arg(backup);
    return false;
}

void MoveBack(const QString& backup, const QString& path)
{
    std::rename(QFile::encodeName(backup).constData(), QFile::encodeName(path).constData());
}

} // namespace

ProfileRecord FirstRunProfile()
{
    ProfileRecord local;
    local.name = QStringLiteral("localhost");
    local.address = QStringLiteral("localhost");
    local.anonymous = true;
    local.isDefault = true;
    local.isActive = true;
    return local;
}

void CopyConnectionFields(const ProfileRecord& from, ProfileRecord& to)
{
    to.name = from.name;
    to.address = from.address;
    to.anonymous = from.anonymous;
    to.userId = from.userId;
    to.password = from.password;
    to.initialDir = from.initialDir;
    to.comment = from.comment;
}

QString BackupPathFor(const QString& path)
{
    const auto taken = [](const QString& candidate) {
        const QFileInfo info(candidate);
        return info.exists() || info.isSymLink();
    };
    const QString first = path + QStringLiteral(".bak");
    if (!taken(first))
        return first;
    for (int number = 2; number <= kMaxBackups; ++number) {
        const QString candidate = first + QLatin1Char('.') + QString::number(number);
        if (!taken(candidate))
            return candidate;
    }
    return {};
}

bool LoadProfiles(const QString& path, QList<ProfileRecord>& profiles)
{
    const StoredFile stored = ReadStored(path);
    theApp().profileFileReserved = stored.content.reserved;
    const bool complete =
        stored.state == StoredState::Missing || stored.state == StoredState::Sound;
    if (!complete)
        ReportUnreadFile(path, stored);

    profiles = stored.content.profiles;
    // No profile at all is a first run: the program needs one to connect with.
    if (profiles.isEmpty())
        profiles.append(FirstRunProfile());
    // The file may hold fewer profiles than when the active one was chosen (it was damaged
    // or replaced meanwhile); the active profile must still be one of the list.
    CVantorApp& app = theApp();
    if (app.activeProfileIndex < 0 || app.activeProfileIndex >= profiles.size()) {
        app.activeProfileIndex = 0;
        CopyConnectionFields(profiles.front(), app.activeProfile);
    }
    for (qsizetype index = 0; index < profiles.size(); ++index)
        profiles[index].isActive = index == app.activeProfileIndex;
    return complete;
}

bool WriteProfiles(const QString& path, const QList<ProfileRecord>& profiles, qint32 reserved,
                   QString& reason)
{
    const StoredFile stored = ReadStored(path);
    if (stored.state == StoredState::NotAFile) {
        reason = stored.reason;
        return false;
    }
    QString backup;
    bool moved = false;
    if (stored.state == StoredState::Damaged || stored.state == StoredState::Unreadable) {
        if (!KeepBackup(path, backup, moved, reason))
            return false;
    }

    // The old file is replaced only by a complete new one: a crash or a full disk while
    // writing leaves it as it was.
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (written) {
        // The file holds passwords as plain text. Best effort: a file system without
        // permissions cannot do better, and refusing to save would lose the user's edits.
        ::fchmod(file.handle(), S_IRUSR | S_IWUSR);
        written = WriteProfileFile(file, profiles, reserved);
        if (!written) {
            reason = file.errorString();
            file.cancelWriting();
        } else {
            written = file.commit();
        }
    }
    if (!written) {
        if (reason.isEmpty())
            reason = file.errorString();
        if (reason.isEmpty())
            reason = QStringLiteral("the file could not be written");
        if (moved)
            MoveBack(backup, path);
        return false;
    }
    return true;
}

bool SaveProfiles(const QString& path, const QList<ProfileRecord>& profiles)
{
    QString reason;
    if (WriteProfiles(path, profiles, theApp().profileFileReserved, reason))
        return true;
    ShowMessageBox(MessageOwner(),
                   QStringLiteral("The profiles could not be saved to \"%1\": %2.\n\nThe file "
                                  "was left as it was.")
                       .arg(path, reason),
                   kSaveErrorCaption, MsgIcon::Stop);
    return false;
}

bool LoadStartupProfile(const QString& path)
{
    QList<ProfileRecord> profiles;
    LoadProfiles(path, profiles);
    qsizetype active = 0;
    for (qsizetype index = 0; index < profiles.size(); ++index) {
        if (profiles[index].isDefault) {
            active = index;
            break;
        }
    }
    theApp().activeProfileIndex = static_cast<int>(active);
    theApp().activeProfile = profiles[active];
    theApp().activeProfile.isActive = true;
    return true;
}
