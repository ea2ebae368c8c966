// One file copied the way the program copies it: connected through the status window,
// under an operation with the window shown, its progress, polling and checks.
//
//   transfer_bench download|upload|copy FTP_ADDRESS USER PASSWORD SOURCE DESTINATION
//
// A download takes a server path and a local one, an upload the other way round, a copy
// two server paths. Prints the seconds from the start of the login to the end of the copy
// (what curl does in its run; the start of the program itself is left out). Exits 0
// when the routine reported success. Runs on the offscreen platform unless told otherwise.
#include "bench/timedcopy.h"
#include "ftp/commstatusdialog.h"

#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    const QString mode = argc == 7 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode != QLatin1String("download") && mode != QLatin1String("upload") &&
        mode != QLatin1String("copy")) {
        std::fprintf(stderr,
                     "usage: transfer_bench download|upload|copy ADDRESS USER PASSWORD SOURCE "
                     "DESTINATION\n");
        return 2;
    }
    return RunTimedCopy(
        argc, argv,
        [&mode](CCommStatusDialog& dialog, const QString& source, const QString& destination) {
            if (mode == QLatin1String("download"))
                return dialog.DownloadFile(source, destination);
            if (mode == QLatin1String("upload"))
                return dialog.UploadFile(source, destination);
            return dialog.CopyFtpFile(source, destination);
        });
}
