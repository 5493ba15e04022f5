#pragma once
// The quiet row at the end of a results view's grid: "正在加载更多…" while the next page is on
// its way, "没有更多了" once the source has no more, and "加载失败，点击重试" after a page
// failed, when a click, Enter or the space bar asks for that page again (the row then takes
// the keyboard focus). Grey text centred on the view's own background. GUI thread only.
#include <QString>
#include <QWidget>

class CMoreRow : public QWidget {
    Q_OBJECT
public:
    enum class State {
        None,    // nothing said (no items yet, or more may come but none is asked for)
        Loading, // "正在加载更多…"
        End,     // "没有更多了"
        Failed,  // "加载失败，点击重试"
    };
    static constexpr int kHeight = 40;

    explicit CMoreRow(QWidget* parent = nullptr);

    void SetState(State state);
    State CurrentState() const { return m_state; }
    // The text shown now ("" for None).
    QString Text() const;

signals:
    // The user asked for the failed page again.
    void retryRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    State m_state = State::None;
};
