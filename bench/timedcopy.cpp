#include "bench/timedcopy.h"

#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"

#include <QElapsedTimer>

#include <cstdio>

int RunTimedCopy(int argc, char** argv, const BenchCopy& copy)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    CVantorApp app(argc, argv);
    CVantorApp& state = theApp();
    state.activeProfile.name = QStringLiteral("bench");
    state.activeProfile.address = QString::fromLocal8Bit(argv[2]);
    state.activeProfile.userId = QString::fromLocal8Bit(argv[3]);
    state.activeProfile.password = QString::fromLocal8Bit(argv[4]);
    // Files at once, as Settings > Transfers at Once would have it (default 2).
    if (const int parallel = qEnvironmentVariableIntValue("TRANSFERS_AT_ONCE"); parallel > 0)
        state.parallelTransfers = parallel;
    auto* frame = new CMainFrame;
    state.mainFrame = frame;
    frame->show();

    // A box would wait for a click nobody gives: its text goes to the terminal instead.
    const CScopedMessageBoxHandler boxes([](const MessageBoxRequest& box) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(box.caption), qPrintable(box.text));
        if (!box.explanation.isEmpty() || !box.details.isEmpty())
            std::fprintf(stderr, "  %s\n  %s\n", qPrintable(box.explanation),
                         qPrintable(box.details));
        return MsgAnswer::Ok;
    });
    bool copied = false;
    QElapsedTimer timer;
    timer.start();
    {
        CCommOperation operation(true);
        CCommStatusDialog& dialog = operation.Dialog();
        if (dialog.Connect())
            copied = copy(dialog, QString::fromLocal8Bit(argv[5]), QString::fromLocal8Bit(argv[6]));
    }
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    CCommStatusDialog::Disconnect();
    std::printf("%.3f\n", seconds);
    delete frame;
    return copied ? 0 : 1;
}
