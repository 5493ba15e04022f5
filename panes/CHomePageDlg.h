#pragma once
// The home-page pane: two picture links, the marketplace's affiliate channel page above and
// the mall channel's below. A press and a release on a drawn picture opens its page in the
// default browser; the static around a picture does not count. The pane is as wide as the
// navigation bar gives it (at least its widest logo), with both logos centred across it. Tab
// reaches each link and Enter opens it.
#include <QRect>
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
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    CMyUrlStatic* LinkAt(const QPoint& pos) const;
    void PlaceLinks();

    QRect m_templateRects[2]; // the statics 1020 and 1021 as the template places them
};
