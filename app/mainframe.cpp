#include "app/mainframe.h"

#include "app/vantorapp.h"
#include "app/vantordoc.h"

#include <QLabel>
#include <QStatusBar>

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent)
    , document(new CVantorDoc(this))
{
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(QString::fromLatin1("Ardent Vantor"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/vantor.svg")));
    for (int pane = 0; pane < 3; ++pane) {
        statusPanes[pane] = new QLabel(this);
        statusPanes[pane]->setObjectName(QStringLiteral("statusPane%1").arg(pane));
        statusBar()->addWidget(statusPanes[pane], pane == 0 ? 1 : 0);
    }
    SetStatusText(0, QStringLiteral("Ready"));
    setCentralWidget(new QWidget(this));
}

CMainFrame::~CMainFrame()
{
    theApp().SaveSettings(theApp().splitterWidth, theApp().splitterHeight);
}

void CMainFrame::SetStatusText(int pane, const QString& text)
{
    if (pane >= 0 && pane < 3)
        statusPanes[pane]->setText(text);
}

QString CMainFrame::StatusText(int pane) const
{
    return pane >= 0 && pane < 3 ? statusPanes[pane]->text() : QString();
}
