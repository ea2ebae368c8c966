#pragma once

#include <QByteArrayView>
#include <QString>

class CFtpConnection;

// The permissions of server files: read from a LIST reply, set with SITE CHMOD.
//
// An attribute value is the octal permission number as text: three digits for owner, group
// and others ("755"), led by a fourth digit where setuid, setgid or the sticky bit is set
// ("4755"). "000" stands for "not known".

// The value of the entry named exactly `name` in a whole LIST reply (lines ended by "\r\n"
// or "\n"; a link's name is the part before " -> "). "000" when no line names it or its
// line has no Unix permission field. Pure: the listing is whatever the server sent.
QString PermissionsFromListing(QByteArrayView listing, const QString& name);

// Whether `text` is one to four octal digits, the form SITE CHMOD is sent with.
bool IsAttributeValue(const QString& text);
// Whether two values are the same octal number ("0644" and "644" are); a text that is not
// an attribute value equals nothing.
bool SameAttributeValue(const QString& a, const QString& b);

// Reads the value of `name` in the server folder `folder` (a full path; the connection is
// moved there first, whatever folder it was left in): NOOP, LIST, NOOP. "000" when the
// folder cannot be entered, the listing fails or does not name the file.
QString ReadAttributes(CFtpConnection& connection, const QString& folder, const QString& name);

// Sends SITE CHMOD `value` `name` in `folder` between two NOOPs and reads the value back;
// true when it reads back as `value`. Never throws; shows nothing.
bool ApplyAttributes(CFtpConnection& connection, const QString& folder, const QString& name,
                     const QString& value);
