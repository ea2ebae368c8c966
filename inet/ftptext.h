#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Text that comes from a server: UTF-8 where it is valid UTF-8, otherwise Latin-1, so that
// every byte keeps a character of its own.
bool IsValidUtf8(QByteArrayView bytes);
QString DecodeServerText(QByteArrayView bytes);

// C0 controls, DEL and the C1 controls.
bool HasControlCharacter(QStringView text);
