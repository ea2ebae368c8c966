#pragma once

#include <QString>

#include <memory>
#include <optional>

class QSettings;

// The per-user key/value store that stands in for the program's registry key: an INI file
// "Vantor98c.conf" in the XDG configuration folder ($XDG_CONFIG_HOME, default ~/.config).
// Values live at the top level of the file. Every write reaches the disk before it returns,
// so a failed write leaves the values written before it in place and nothing after it.
class CSettingsStore
{
public:
    CSettingsStore();
    ~CSettingsStore();
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    // The file behind the store, found anew at each call (tests move XDG_CONFIG_HOME).
    static QString FilePath();

    // Makes sure the store exists and can be written (creates the folder and an empty
    // file when missing). False when it cannot be opened for writing.
    bool Open();

    // Reading works without Open; a missing file or value gives nothing.
    std::optional<qint64> ReadInt(const QString& name) const;
    std::optional<QString> ReadText(const QString& name) const;

    bool WriteInt(const QString& name, qint64 value);
    bool WriteText(const QString& name, const QString& value);

    // Flushes and closes; false when the last flush failed.
    bool Close();

private:
    bool Write(const QString& name, const QString& text);

    QString path;
    std::unique_ptr<QSettings> settings;
};
