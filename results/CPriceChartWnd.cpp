#include "results/CPriceChartWnd.h"

#include "res/GbkText.h"
#include "results/CPriceMemory.h"
#include "results/PriceMarker.h"
#include "store/LocalDay.h"
#include "store/Sighting.h"

#include <QDateTime>
#include <QImageReader>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <ctime>

namespace {

constexpr int kWidth = 560;
constexpr int kHeight = 360;
constexpr int kPicture = 88;
constexpr int kMargin = 12;
const QColor kTotalColour(255, 90, 68);
const QColor kCouponColour(60, 110, 200);
const QColor kGrid(228, 231, 236);
const QColor kAxisText(110, 110, 110);

QString Yuan(std::int64_t cents)
{
    return QString::fromStdString(yfx::YuanText(cents));
}

QDate DateOfDay(int day)
{
    const yfx::store::CivilDate d = yfx::store::CivilFromDay(day);
    return QDate(d.year, d.month, d.day);
}

} // namespace

CPriceChartWnd::CPriceChartWnd(const CTBRecord& record, const QString& picturePath, CPriceMemory* memory,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), m_strTitle(yfx::QStringFromGbk(record.tip()))
{
    setObjectName(QStringLiteral("priceChart"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("价格走势 - ") + m_strTitle);
    setFixedSize(kWidth, kHeight);
    setMouseTracking(true);
    if (!picturePath.isEmpty()) {
        // a thumbnail, decoded at the size it is shown
        QImageReader reader(picturePath);
        const QSize size = reader.size();
        if (size.isValid() && size.width() <= 8000 && size.height() <= 8000) {
            reader.setScaledSize(size.scaled(kPicture, kPicture, Qt::KeepAspectRatio));
            m_picture = reader.read();
        }
    }
    m_strStatus = QStringLiteral("正在读取…");
    if (!memory || !memory->Available()) {
        m_bLoading = false;
        m_strStatus = QStringLiteral("价格记录不可用");
        return;
    }
    memory->AskHistory(this, yfx::store::KeyOf(record), [this](const yfx::store::PriceHistory& history) {
        SetHistory(history, QDateTime::currentSecsSinceEpoch());
        emit historyArrived(static_cast<int>(history.points.size()));
    });
}

void CPriceChartWnd::SetHistory(const yfx::store::PriceHistory& history, std::int64_t now)
{
    m_bLoading = false;
    if (history.found && !history.title.empty())
        m_strTitle = QString::fromStdString(history.title);
    m_series = yfx::BuildChartSeries(history.points, now);
    m_strStatus = m_series.empty ? QStringLiteral("还没有价格记录") : QString();
    m_strHover.clear();
    m_nHoverX = -1;
    update();
}

QRect CPriceChartWnd::PlotArea() const
{
    const int top = kMargin + kPicture + 28;
    return QRect(72, top, width() - 72 - 24, height() - top - 34);
}

void CPriceChartWnd::HoverAt(int x)
{
    const QRect plot = PlotArea();
    QString text;
    int shown = -1;
    if (!m_series.empty && x >= plot.left() && x <= plot.right()) {
        const yfx::ChartScale scale(m_series, plot.x(), plot.y(), plot.width(), plot.height());
        const std::int64_t time = scale.TimeAt(x);
        if (const std::optional<std::int64_t> total = yfx::ValueAt(m_series.total, time)) {
            const QDateTime when = QDateTime::fromSecsSinceEpoch(time);
            text = QLocale().toString(when.date(), QLocale::ShortFormat) + QStringLiteral("  ") + Yuan(*total);
            if (const std::optional<std::int64_t> after = yfx::ValueAt(m_series.afterCoupon, time))
                text += QStringLiteral("（券后 ") + Yuan(*after) + QStringLiteral("）");
            shown = x;
        }
    }
    if (text != m_strHover || shown != m_nHoverX) {
        m_strHover = text;
        m_nHoverX = shown;
        update();
    }
}

void CPriceChartWnd::mouseMoveEvent(QMouseEvent* event)
{
    HoverAt(event->position().toPoint().x());
}

void CPriceChartWnd::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    m_strHover.clear();
    m_nHoverX = -1;
    update();
}

void CPriceChartWnd::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setRenderHint(QPainter::Antialiasing);

    // picture and title
    const QRect pictureRect(kMargin, kMargin, kPicture, kPicture);
    if (m_picture.isNull()) {
        p.fillRect(pictureRect, QColor(240, 242, 245));
    } else {
        const QSize s = m_picture.size();
        p.drawImage(QPoint(pictureRect.x() + (kPicture - s.width()) / 2, pictureRect.y() + (kPicture - s.height()) / 2),
                    m_picture);
    }
    QFont titleFont = font();
    titleFont.setBold(true);
    p.setFont(titleFont);
    p.setPen(QColor(30, 30, 30));
    const QRect titleRect(pictureRect.right() + 12, kMargin, width() - pictureRect.right() - 12 - kMargin, 48);
    p.drawText(titleRect, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, m_strTitle);
    p.setFont(font());
    if (!m_series.empty) {
        p.setPen(kAxisText);
        QString summary = QStringLiteral("现价 %1 · 最低 %2 · 最高 %3")
                              .arg(Yuan(m_series.current), Yuan(m_series.lowest), Yuan(m_series.highest));
        const bool coupons = std::any_of(m_series.afterCoupon.begin(), m_series.afterCoupon.end(),
                                         [](const yfx::ChartStep& s) { return s.value >= 0; });
        if (coupons)
            summary += QStringLiteral("（虚线：券后价）");
        p.drawText(QRect(titleRect.x(), kMargin + 52, titleRect.width(), 20), Qt::AlignLeft | Qt::AlignVCenter, summary);
    }

    const QRect plot = PlotArea();
    if (!m_strStatus.isEmpty()) {
        p.setPen(QColor(128, 128, 128));
        p.drawText(plot, Qt::AlignCenter, m_strStatus);
        return;
    }
    DrawChart(p, plot);
}

void CPriceChartWnd::DrawChart(QPainter& p, const QRect& plot)
{
    const yfx::ChartScale scale(m_series, plot.x(), plot.y(), plot.width(), plot.height());
    const QFontMetrics fm(font());

    // value grid: a line at every round amount
    for (std::int64_t v = scale.LowValue(); v <= scale.HighValue(); v += scale.Step()) {
        const double y = scale.Y(v);
        p.setPen(kGrid);
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        p.setPen(kAxisText);
        p.drawText(QRectF(0, y - 10, plot.left() - 6, 20), Qt::AlignRight | Qt::AlignVCenter, Yuan(v));
    }
    // date ticks at local midnights
    const QLocale locale;
    const int firstDay = yfx::store::LocalDay(m_series.firstTime);
    const int lastDay = yfx::store::LocalDay(m_series.lastTime);
    const int labelWidth = fm.horizontalAdvance(locale.toString(QDate(2026, 12, 30), QLocale::ShortFormat)) + 16;
    for (int day : yfx::DayTicks(firstDay, lastDay, std::max(1, plot.width() / labelWidth))) {
        const QDate date = DateOfDay(day);
        const std::int64_t midnight = QDateTime(date, QTime(0, 0)).toSecsSinceEpoch();
        const double x = scale.X(std::max(midnight, m_series.firstTime));
        p.setPen(kGrid);
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        p.setPen(kAxisText);
        p.drawText(QRectF(x - labelWidth / 2.0, plot.bottom() + 4, labelWidth, 20), Qt::AlignHCenter | Qt::AlignTop,
                   locale.toString(date, QLocale::ShortFormat));
    }

    // the step lines
    auto stepPath = [&](const std::vector<yfx::ChartStep>& steps) {
        QPainterPath path;
        bool open = false;
        for (size_t i = 0; i < steps.size(); ++i) {
            const std::int64_t end = i + 1 < steps.size() ? steps[i + 1].time : m_series.lastTime;
            if (steps[i].value < 0) {
                open = false;
                continue;
            }
            const double y = scale.Y(steps[i].value);
            if (open)
                path.lineTo(scale.X(steps[i].time), y);
            else
                path.moveTo(scale.X(steps[i].time), y);
            path.lineTo(scale.X(end), y);
            open = true;
        }
        return path;
    };
    QPen coupon(kCouponColour, 1.5, Qt::DashLine);
    p.setPen(coupon);
    p.drawPath(stepPath(m_series.afterCoupon));
    p.setPen(QPen(kTotalColour, 2));
    p.drawPath(stepPath(m_series.total));

    // lowest, highest and current marked
    auto mark = [&](std::int64_t time, std::int64_t value, const QColor& colour, const QString& label, bool above) {
        const QPointF at(scale.X(time), scale.Y(value));
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(at, 3.5, 3.5);
        p.setBrush(Qt::NoBrush);
        p.setPen(colour);
        const int w = fm.horizontalAdvance(label) + 4;
        const double x = std::clamp(at.x() - w / 2.0, static_cast<double>(plot.left()), static_cast<double>(plot.right() - w));
        p.drawText(QRectF(x, above ? at.y() - 20 : at.y() + 4, w, 16), Qt::AlignCenter, label);
    };
    const yfx::ChartStep* lowest = nullptr;
    const yfx::ChartStep* highest = nullptr;
    for (const yfx::ChartStep& s : m_series.total) {
        if (!lowest || s.value <= lowest->value)
            lowest = &s;
        if (!highest || s.value > highest->value)
            highest = &s;
    }
    // the current price is marked at the end; a lowest or highest equal to it needs no label of its own
    if (highest && highest->value != lowest->value && highest->value != m_series.current)
        mark(highest->time, highest->value, QColor(120, 120, 120), QStringLiteral("最高 ") + Yuan(highest->value), true);
    if (lowest && lowest->value != m_series.current)
        mark(lowest->time, lowest->value, QColor(0, 140, 70), QStringLiteral("最低 ") + Yuan(lowest->value), false);
    mark(m_series.lastTime, m_series.current, kTotalColour, QStringLiteral("现价 ") + Yuan(m_series.current), true);

    // the value under the pointer
    if (m_nHoverX >= 0 && !m_strHover.isEmpty()) {
        p.setPen(QPen(QColor(150, 150, 150), 1, Qt::DotLine));
        p.drawLine(QPointF(m_nHoverX, plot.top()), QPointF(m_nHoverX, plot.bottom()));
        const int w = fm.horizontalAdvance(m_strHover) + 12;
        const int x = std::clamp(m_nHoverX + 8, plot.left(), plot.right() - w);
        const QRect box(x, plot.top() + 4, w, fm.height() + 6);
        p.setPen(QColor(200, 200, 200));
        p.setBrush(QColor(255, 255, 255, 235));
        p.drawRect(box);
        p.setBrush(Qt::NoBrush);
        p.setPen(QColor(30, 30, 30));
        p.drawText(box, Qt::AlignCenter, m_strHover);
    }
}
