#pragma once

#include <QString>

// The program folder is the working directory at start, with a trailing "/" added where it
// has none ("/" itself stays "/"). Both programs look for their files there.
QString ProgramFolderOf(const QString& workingDirectory);
QString CurrentProgramFolder();
