#pragma once

#include "profiles/profilerecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

// The layout of Profiles.dat: a count word, a reserved word when the count word exceeds
// kReservedMarker, then each record's nine fields in order (texts as encoded strings, the
// three flags as signed 32-bit words), little-endian, nothing after the last record.
// These functions touch nothing but their arguments, so they can take any bytes at all.

inline constexpr qint32 kReservedMarker = 100000;

// What reading the bytes of a profile file found.
struct ProfileFileContent
{
    QList<ProfileRecord> profiles; // the complete records, in file order, flags as stored
    qint32 reserved = 0;           // 0 when the file has no reserved word
    qint64 declaredCount = 0;      // the number of profiles the count word announces
    bool damaged = false;          // ended early, a length past the end, a negative count,
                                   // bytes after the last record
    QString deviceError;           // set when the device failed, not the data
};

ProfileFileContent DecodeProfileFile(const QByteArray& bytes);
// The same from a device open for reading (through CProfileReader's buffer).
ProfileFileContent ReadProfileFile(QIODevice& device);

// Writes the count word as the number of profiles + kReservedMarker, then the reserved word.
// An empty list is the one exception: the count word 0 alone, since kReservedMarker itself
// would be read as that many profiles.
// False when the device refused a write (or the list is too long for the count word).
bool WriteProfileFile(QIODevice& device, const QList<ProfileRecord>& profiles, qint32 reserved);
QByteArray EncodeProfileFile(const QList<ProfileRecord>& profiles, qint32 reserved);
