#include "framework/programfolder.h"

#include <QDir>

QString ProgramFolderOf(const QString& workingDirectory)
{
    if (workingDirectory.endsWith(QLatin1Char('/')))
        return workingDirectory;
    return workingDirectory + QLatin1Char('/');
}

QString CurrentProgramFolder()
{
    return ProgramFolderOf(QDir::currentPath());
}
