// One file copied the way the program copies it: connected through the status window,
// under an operation with the window shown, its progress, polling and checks.
//
//   transfer_bench download|upload|copy FTP_ADDRESS USER PASSWORD SOURCE DESTINATION
//
// A download takes a server path and a local one, an upload the other way round, a copy
// two server paths. Prints the seconds from the start of the login to the end of the copy
// (what curl does in its run; the start of the program itself is left out). Exits 0
// when the routine reported success. Runs on the offscreen platform unless told otherwise.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"

#include <QElapsedTimer>
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    CVantorApp app(argc, argv);
    CVantorApp& state = theApp();
    state.activeProfile.name = QStringLiteral("bench");
    state.activeProfile.address = QString::fromLocal8Bit(argv[2]);
    state.activeProfile.userId = QString::fromLocal8Bit(argv[3]);
    state.activeProfile.password = QString::fromLocal8Bit(argv[4]);
    auto* frame = new CMainFrame;
    state.mainFrame = frame;
    frame->show();

    // A box would wait for a click nobody gives: its text goes to the terminal instead.
    const CScopedMessageBoxHandler boxes([](const MessageBoxRequest& box) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(box.caption), qPrintable(box.text));
        return MsgAnswer::Ok;
    });
    bool copied = false;
    QElapsedTimer timer;
    timer.start();
    {
        CCommOperation operation(true);
        CCommStatusDialog& dialog = operation.Dialog();
        if (dialog.Connect()) {
            const QString source = QString::fromLocal8Bit(argv[5]);
            const QString destination = QString::fromLocal8Bit(argv[6]);
            if (mode == QLatin1String("download"))
                copied = dialog.DownloadFile(source, destination);
            else if (mode == QLatin1String("upload"))
                copied = dialog.UploadFile(source, destination);
            else
                copied = dialog.CopyFtpFile(source, destination);
        }
    }
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    CCommStatusDialog::Disconnect();
    std::printf("%.3f\n", seconds);
    delete frame;
    return copied ? 0 : 1;
}
