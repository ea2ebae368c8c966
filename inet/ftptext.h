#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Text that comes from a server: UTF-8 where it is valid UTF-8, otherwise the Windows
// character set (Windows-1252), which most servers without UTF-8 speak; every byte keeps a
// character of its own.
bool IsValidUtf8(QByteArrayView bytes);
QString DecodeServerText(QByteArrayView bytes);

// C0 controls and DEL: what must never be part of a name.
bool HasControlCharacter(QStringView text);
