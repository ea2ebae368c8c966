// A folder tree copied the way the program copies it: connected through the status window,
// the tree downloaded or uploaded under an operation with the window shown.
//
//   foldertree_bench download|upload FTP_ADDRESS USER PASSWORD SOURCE DESTINATION
//
// A download takes a server folder and a local one, an upload the other way round; the
// destination must not exist. Prints the seconds from the start of the login to the end of
// the copy. Exits 0 when the folder transfer reported success.
#include "bench/timedcopy.h"
#include "ftp/commstatusdialog.h"

#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    const QString mode = argc == 7 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode != QLatin1String("download") && mode != QLatin1String("upload")) {
        std::fprintf(stderr, "usage: foldertree_bench download|upload ADDRESS USER PASSWORD "
                             "SOURCE DESTINATION\n");
        return 2;
    }
    return RunTimedCopy(
        argc, argv,
        [&mode](CCommStatusDialog& dialog, const QString& source, const QString& destination) {
            return mode == QLatin1String("download") ? dialog.DownloadFolder(source, destination)
                                                     : dialog.UploadFolder(source, destination);
        });
}
