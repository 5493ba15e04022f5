#pragma once
// A results window: one tab of the main frame holding a document and its results view.
// Closing it destroys both.
#include <QMdiSubWindow>

class CLumbra2Doc;
class CLumbra2View;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    // Takes ownership of the document; creates the view on it.
    explicit CChildFrame(CLumbra2Doc* doc, QWidget* parent = nullptr);
    ~CChildFrame() override;

    CLumbra2Doc* Document() const { return m_pDoc; }
    CLumbra2View* View() const { return m_pView; }

private:
    CLumbra2Doc* m_pDoc;
    CLumbra2View* m_pView;
};
