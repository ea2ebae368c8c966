#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <atomic>
#include <mutex>

struct FtpListEntry;

// Turns names between the server's bytes and the program's text, for one session (all its
// connections). Names are UTF-8 where valid; a name that is not is shown as Windows-1252,
// and the codec remembers its bytes so that the same text goes back to the server byte for
// byte in a later command, on any connection of the session. Thread-safe.
//
// Should one text stand for two byte forms (a UTF-8 name and another that reads alike),
// the form seen last wins.
class CFtpNameCodec
{
public:
    // Notes the entry's bytes when its name was not UTF-8.
    void Learn(const FtpListEntry& entry);
    // Decodes a path (a PWD reply) part by part, learning the parts that are not UTF-8.
    QString DecodePath(const QByteArray& raw);

    // A path for a command: every "/"-separated part that was learned goes back as its
    // bytes, every other part as UTF-8.
    QByteArray EncodePath(const QString& path) const;
    // A whole command line: any learned name in it goes back as its bytes.
    QByteArray EncodeText(const QString& text) const;

private:
    void LearnPart(const QByteArray& raw, const QString& text);

    mutable std::mutex mutex;
    QHash<QString, QByteArray> latin1Names;
    std::atomic<bool> anyLearned{false};
};
