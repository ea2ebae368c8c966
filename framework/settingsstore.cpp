#include "framework/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

std::unique_ptr<QSettings> OpenIni(const QString& path)
{
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

} // namespace

CSettingsStore::CSettingsStore()
    : path(FilePath())
{
}

CSettingsStore::~CSettingsStore() = default;

QString CSettingsStore::FilePath()
{
    QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        folder = QDir::homePath() + QStringLiteral("/.config");
    return folder + QStringLiteral("/Vantor98c.conf");
}

bool CSettingsStore::Open()
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    if (info.exists() && !info.isFile())
        return false;
    // Opening for reading and writing creates a missing file and proves that the store can
    // be written, also where the permissions say nothing (root) but the file system does.
    QFile probe(path);
    if (!probe.open(QIODevice::ReadWrite))
        return false;
    probe.close();
    settings = OpenIni(path);
    return settings->status() != QSettings::AccessError;
}

std::optional<qint64> CSettingsStore::ReadInt(const QString& name) const
{
    const std::optional<QString> text = ReadText(name);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const qint64 value = text->trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<QString> CSettingsStore::ReadText(const QString& name) const
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    std::unique_ptr<QSettings> reader = settings ? nullptr : OpenIni(path);
    QSettings& source = settings ? *settings : *reader;
    if (source.status() != QSettings::NoError)
        return std::nullopt;
    const QVariant value = source.value(name);
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

bool CSettingsStore::WriteInt(const QString& name, qint64 value)
{
    return Write(name, QString::number(value));
}

bool CSettingsStore::WriteText(const QString& name, const QString& value)
{
    return Write(name, value);
}

bool CSettingsStore::Write(const QString& name, const QString& text)
{
    if (!settings)
        return false;
    settings->setValue(name, text);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

bool CSettingsStore::Close()
{
    if (!settings)
        return false;
    settings->sync();
    const bool ok = settings->status() == QSettings::NoError;
    settings.reset();
    return ok;
}
