#pragma once

#include "profiles/profilerecord.h"

#include <QList>
#include <QString>

// Profiles.dat: reading it for start-up and for the profiles dialog, and writing it back.
// Nothing else reads or writes the file. The byte layout is in profileformat.h.
//
// A file that cannot be read completely (it ends early, a length runs past its end, it
// cannot be opened) is never silently lost: the reader keeps the complete records before
// the damage and says so in one message box, and the next save first keeps the damaged
// file as Profiles.dat.bak (or .bak.2, .bak.3, ... when that name is taken).

// Reads `path` into `profiles` (file order) and sets theApp().profileFileReserved. Each
// record's isActive becomes true exactly when its index is theApp().activeProfileIndex; an
// index outside the list becomes 0, and the first profile's fields go to activeProfile.
// `profiles` always ends up with at least one record: a missing file or one without
// profiles is a first run and gives FirstRunProfile(). False when the file was damaged or
// could not be read; a message box has then named the file and how many profiles it gave.
bool LoadProfiles(const QString& path, QList<ProfileRecord>& profiles);

// Writes every record of `profiles` with theApp().profileFileReserved, owner-only (0600),
// through a new file that replaces the old one only when it is complete. False (after a
// message box naming the file and the reason) when the file cannot be written; the old
// file then stays as it was.
bool SaveProfiles(const QString& path, const QList<ProfileRecord>& profiles);

// Start-up: reads the file like LoadProfiles and makes its default profile the active one
// (theApp().activeProfileIndex and activeProfile). With several defaults the first wins,
// with none the first profile becomes active. True: there is always a profile to start with.
bool LoadStartupProfile(const QString& path);

// SaveProfiles without the message box: false with `reason` set when the file could not be
// written (the old file then stays).
bool WriteProfiles(const QString& path, const QList<ProfileRecord>& profiles, qint32 reserved,
                   QString& reason);

// Copies the seven fields that make up the active profile (everything but the two flags).
void CopyConnectionFields(const ProfileRecord& from, ProfileRecord& to);

// The profile of a first run: this computer, anonymous, default and active.
ProfileRecord FirstRunProfile();

// The name under which a damaged file at `path` would be kept now: path + ".bak", or the
// first free of ".bak.2", ".bak.3", ...; empty when none is free.
QString BackupPathFor(const QString& path);
