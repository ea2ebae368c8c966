#include "ftp/partfile.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <climits>
#include <cstdio>

namespace {

const QString kPartSuffix = QStringLiteral(".part");

} // namespace

CPartFile::CPartFile(const QString& targetPath)
    : target(targetPath)
{}

QString CPartFile::NameFor(const QString& target, int attempt)
{
    const QString suffix =
        attempt == 0 ? kPartSuffix : QLatin1Char('~') + QString::number(attempt + 1) + kPartSuffix;
    const QString name = QFileInfo(target).fileName();
    const QString folder = target.left(target.size() - name.size());
    if (QFile::encodeName(name).size() + suffix.size() <= NAME_MAX)
        return target + suffix;
    const QString mark =
        QLatin1Char('~') +
        QString::fromLatin1(
            QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
    QString shortened = name;
    while (!shortened.isEmpty() &&
           QFile::encodeName(shortened).size() + mark.size() + suffix.size() > NAME_MAX) {
        shortened.chop(shortened.size() > 1 && shortened.back().isLowSurrogate() ? 2 : 1);
    }
    return folder + shortened + mark + suffix;
}

bool CPartFile::Create()
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        file.setFileName(NameFor(target, attempt));
        // NewOnly creates exclusively: an existing file or link of the name is left alone.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        // Taken (a dangling link too): the next name. Any other failure is final.
        const QFileInfo taken(file.fileName());
        if (!taken.exists() && !taken.isSymLink())
            return false;
    }
    return false;
}

bool CPartFile::Commit()
{
    if (file.isOpen())
        file.close();
    if (QFileInfo::exists(target))
        QFile::setPermissions(file.fileName(), QFile::permissions(target));
    return std::rename(QFile::encodeName(file.fileName()).constData(),
                       QFile::encodeName(target).constData()) == 0;
}
