#pragma once

#include <QByteArray>
#include <QString>

// The characters of a text field in Profiles.dat. The program writes UTF-8; older files
// hold single bytes of the Windows-1252 code page, and the rare 16-bit form holds UTF-16LE.
// Decoding never fails: every byte sequence gives some text.

// UTF-8 when `bytes` are valid UTF-8, otherwise Windows-1252.
QString DecodeProfileText(const QByteArray& bytes);
// Two bytes per character, little-endian. An odd trailing byte is dropped.
QString DecodeProfileText16(const QByteArray& bytes);
QString DecodeWindows1252(const QByteArray& bytes);
