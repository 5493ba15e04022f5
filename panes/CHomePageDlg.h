#pragma once
// The home-page pane: two picture links, the marketplace's affiliate channel page above and
// the mall channel's below. A press and a release on a drawn picture opens its page in the
// default browser; the static around a picture does not count.
#include <QWidget>

class CMyUrlStatic;

class CHomePageDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 312;

    explicit CHomePageDlg(QWidget* parent = nullptr);

    // The channel addresses, on the channel sites of the endpoints.
    static QString MarketChannelUrl();
    static QString MallChannelUrl();

    CMyUrlStatic* m_linkMarket = nullptr; // 1020, bitmap 336
    CMyUrlStatic* m_linkMall = nullptr;   // 1021, bitmap 337
    bool m_bPressedOnLink = false;
    bool m_bTrackingLeave = false;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    CMyUrlStatic* LinkAt(const QPoint& pos) const;
};
