#pragma once

#include "ftp/transferreport.h"

#include <QString>

// The figures of the status window as text, from the values a transfer reported.
namespace TransferFigures {

// "3000 of 10240"; the bytes alone where the length is not known (`totalText` empty).
QString BytesCopiedText(quint64 bytesDone, const QString& totalText);
// Whole bytes per second; none for a clock that went backwards or has not moved yet.
quint64 Rate(quint64 bytes, qint64 seconds);
// "hh:mm:ss" of a day; a negative time shows as none.
QString ClockText(qint64 seconds);
// A folder transfer: "Files 2 of 3, bytes 24000 of 36000, 12000 bytes per second,
// 00:00:01 left", with `currentFileBytes` of the file under way counted as done and `now`
// the time of the figures. While the total still grows, "of at least" and no time left.
QString FolderText(const FolderProgress& progress, quint64 currentFileBytes, std::time_t now);

} // namespace TransferFigures
