#include "profiles/profileformat.h"

#include "profiles/profilereader.h"
#include "profiles/profilewriter.h"

#include <QBuffer>

#include <limits>

namespace {

bool ReadFlag(CProfileReader& reader, bool& flag)
{
    qint32 word = 0;
    if (!reader.ReadInt32(word))
        return false;
    flag = word != 0;
    return true;
}

bool ReadRecord(CProfileReader& reader, ProfileRecord& record)
{
    return reader.ReadString(record.name) && reader.ReadString(record.address) &&
           ReadFlag(reader, record.anonymous) && reader.ReadString(record.userId) &&
           reader.ReadString(record.password) && reader.ReadString(record.initialDir) &&
           reader.ReadString(record.comment) && ReadFlag(reader, record.isDefault) &&
           ReadFlag(reader, record.isActive);
}

} // namespace

ProfileFileContent ReadProfileFile(QIODevice& device)
{
    ProfileFileContent content;
    CProfileReader reader(device);
    qint32 countWord = 0;
    if (!reader.ReadInt32(countWord)) {
        content.damaged = true;
        content.deviceError = reader.DeviceError();
        return content;
    }
    if (countWord < 0) {
        content.damaged = true;
        return content;
    }
    content.declaredCount = countWord;
    if (countWord > kReservedMarker) {
        content.declaredCount = countWord - kReservedMarker;
        if (!reader.ReadInt32(content.reserved)) {
            content.damaged = true;
            content.deviceError = reader.DeviceError();
            return content;
        }
    }
    // The count is not trusted: nothing is reserved for it, and the loop ends with the data,
    // so a huge count in a short file costs no more than the file itself.
    for (qint64 index = 0; index < content.declaredCount; ++index) {
        ProfileRecord record;
        if (!ReadRecord(reader, record)) {
            content.damaged = true;
            content.deviceError = reader.DeviceError();
            break;
        }
        content.profiles.append(record);
    }
    // Nothing follows the last record in a file the program wrote. Bytes that do mean a
    // count word that lost some of its profiles: the next save must not drop them unseen.
    if (!content.damaged && !reader.AtEnd()) {
        content.damaged = true;
        content.deviceError = reader.DeviceError();
    }
    return content;
}

ProfileFileContent DecodeProfileFile(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return ReadProfileFile(buffer);
}

bool WriteProfileFile(QIODevice& device, const QList<ProfileRecord>& profiles, qint32 reserved)
{
    if (profiles.size() > std::numeric_limits<qint32>::max() - kReservedMarker)
        return false;
    CProfileWriter writer(device);
    if (profiles.isEmpty()) {
        // The count word kReservedMarker would read back as that many profiles without a
        // reserved word; an empty list can only be told as the plain count 0.
        writer.WriteInt32(0);
        return writer.Finish();
    }
    writer.WriteInt32(static_cast<qint32>(profiles.size()) + kReservedMarker);
    writer.WriteInt32(reserved);
    for (const ProfileRecord& record : profiles) {
        writer.WriteString(record.name);
        writer.WriteString(record.address);
        writer.WriteInt32(record.anonymous ? 1 : 0);
        writer.WriteString(record.userId);
        writer.WriteString(record.password);
        writer.WriteString(record.initialDir);
        writer.WriteString(record.comment);
        writer.WriteInt32(record.isDefault ? 1 : 0);
        writer.WriteInt32(record.isActive ? 1 : 0);
    }
    return writer.Finish();
}

QByteArray EncodeProfileFile(const QList<ProfileRecord>& profiles, qint32 reserved)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    WriteProfileFile(buffer, profiles, reserved);
    return bytes;
}
