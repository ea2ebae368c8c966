#pragma once

#include <QMainWindow>

class CVantorDoc;
class QLabel;

// The program's only top-level window. It owns the document.
class CMainFrame : public QMainWindow
{
    Q_OBJECT

public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    CVantorDoc* Document() const { return document; }
    // Sets the text of status pane 0, 1 or 2.
    void SetStatusText(int pane, const QString& text);
    QString StatusText(int pane) const;

private:
    CVantorDoc* document = nullptr;
    QLabel* statusPanes[3] = {};
};
