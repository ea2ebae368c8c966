// A folder tree copied the way the program copies it: connected through the status window,
// the tree downloaded or uploaded under an operation with the window shown.
//
//   foldertree_bench download|upload FTP_ADDRESS USER PASSWORD SOURCE DESTINATION
//
// A download takes a server folder and a local one, an upload the other way round; the
// destination must not exist. Prints the seconds from the start of the login to the end of
// the copy. Exits 0 when the folder transfer reported success.
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
    if (mode != QLatin1String("download") && mode != QLatin1String("upload")) {
        std::fprintf(stderr, "usage: foldertree_bench download|upload ADDRESS USER PASSWORD "
                             "SOURCE DESTINATION\n");
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
            copied = mode == QLatin1String("download") ? dialog.DownloadFolder(source, destination)
                                                       : dialog.UploadFolder(source, destination);
        }
    }
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    CCommStatusDialog::Disconnect();
    std::printf("%.3f\n", seconds);
    delete frame;
    return copied ? 0 : 1;
}
