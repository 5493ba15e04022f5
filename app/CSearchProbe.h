#pragma once
// For --search-when-shown KEYWORD (checks of the installed program): once the main window is
// up, searches the search pane for KEYWORD as a user would, waits for the results window's
// answer and writes one line to standard output, "search: N items from SOURCE" (SOURCE "the
// open platform" or "the list search") or "search: " and the window's grey text, then quits
// (exit code 0 when items were shown, 1 otherwise).
#include <QObject>
#include <QPointer>
#include <QString>

class CMainFrame;

class CSearchProbe : public QObject {
    Q_OBJECT
public:
    CSearchProbe(CMainFrame* frame, const QString& keyword, QObject* parent = nullptr);

private:
    void Search();
    void Report(const QString& text, int exitCode);

    QPointer<CMainFrame> m_frame;
    QString m_strKeyword;
    bool m_bReported = false;
};
