#pragma once
// Shows the reports of unreadable answers (SetErrorReporter: the caption "请与程序开发者联系"
// and the JSON reader's error list) in a message box, the program's one way of telling the
// developer's message to the user.
//
// The box never opens inside the code that read the answer: a report is queued and the box
// comes once that code has returned to the event loop. One box at a time: a report that
// comes while a box is shown or on its way is dropped. The box is modal to the application
// and runs no event loop of its own.
//
// Create one on the GUI thread; it is the error reporter from then on and stops being it when
// destroyed (an open box closes with it). Reports come on the GUI thread, where the views read
// their answers; from another thread only while the object lives.
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <string>

class QMessageBox;

class CAnswerReportBox : public QObject {
    Q_OBJECT
public:
    explicit CAnswerReportBox(QObject* parent = nullptr);
    ~CAnswerReportBox() override;

    // The box while it is shown, else null.
    QMessageBox* Box() const;
    // Reports shown in a box so far.
    int Shown() const { return m_nShown; }

signals:
    // A box has been shown for a report.
    void boxShown(QMessageBox* box);

private:
    void Report(const std::string& caption, const std::string& text);
    void Show(const QString& caption, const QString& text);

    std::atomic<bool> m_bBusy{false}; // a box is shown or on its way
    QPointer<QMessageBox> m_box;
    int m_nShown = 0;
};
