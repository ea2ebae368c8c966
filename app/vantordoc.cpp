#include "app/vantordoc.h"

#include <QPainter>
#include <QSvgRenderer>

namespace {

QPixmap Render(const QString& name, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/icons/") + name);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

} // namespace

// Q_INIT_RESOURCE must not stand inside a namespace.
static void InitIconResources()
{
    Q_INIT_RESOURCE(vantor);
}

CVantorDoc::CVantorDoc(QObject* parent)
    : QObject(parent)
{
    InitIconResources();
    // The order gives the indices of SmallIcon.
    const char* const small[] = {"drive.svg",      "folder_local.svg", "file_local.svg",
                                 "folder_local_open.svg", "folder_ftp.svg", "file_ftp.svg",
                                 "folder_ftp_open.svg",   "computer.svg",   "globe.svg"};
    for (const char* name : small)
        smallIcons.append(Render(QString::fromLatin1(name), 16));
    largeIcons.append(Render(QStringLiteral("computer.svg"), 32));
    largeIcons.append(Render(QStringLiteral("globe.svg"), 32));
}
