#pragma once
// A small window with what the price memory holds of one item: its title and picture, a step
// chart of price plus postage over time (and of the price after coupon where known), the
// lowest, highest and current prices marked, date ticks in the reader's date format and the
// value under the pointer. Shown at once with "正在读取…"; the rows come from the store as a
// queued call. Drawn with QPainter. GUI thread only.
#include "market/TBRecord.h"
#include "results/PriceChart.h"
#include "store/StoreTypes.h"

#include <QImage>
#include <QWidget>

class CPriceMemory;

class CPriceChartWnd : public QWidget {
    Q_OBJECT
public:
    // The window for `record`, its picture from `picturePath` (may be empty or not exist yet).
    // Without a memory, or with one that is unavailable, it says so instead of a chart.
    CPriceChartWnd(const CTBRecord& record, const QString& picturePath, CPriceMemory* memory,
                   QWidget* parent = nullptr);

    // True until the store has answered.
    bool Loading() const { return m_bLoading; }
    // The text shown in place of the chart ("正在读取…", "还没有价格记录", …); empty while the
    // chart shows.
    const QString& StatusText() const { return m_strStatus; }
    const yfx::ChartSeries& Series() const { return m_series; }
    const QString& Title() const { return m_strTitle; }
    // The rectangle the chart is drawn in.
    QRect PlotArea() const;
    // What is shown for the pointer's place ("2026/12/9 14:05  ¥12.50"), empty when none.
    const QString& HoverText() const { return m_strHover; }
    // Shows the value at window column x, as a pointer there would.
    void HoverAt(int x);
    // For tests and for a history that comes some other way.
    void SetHistory(const yfx::store::PriceHistory& history, std::int64_t now);

signals:
    // The store has answered with `rows` rows (0: none or unavailable).
    void historyArrived(int rows);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void DrawChart(class QPainter& p, const QRect& plot);

    QString m_strTitle;
    QImage m_picture;
    bool m_bLoading = true;
    QString m_strStatus;
    yfx::ChartSeries m_series;
    QString m_strHover;
    int m_nHoverX = -1;
};
