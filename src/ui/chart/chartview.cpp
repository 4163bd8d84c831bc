#include "ui/chart/chartview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>

namespace kestrel {

namespace {

constexpr qint64 kMinuteMs = 60'000;
constexpr qint64 kHourMs = 60 * kMinuteMs;
constexpr qint64 kDayMs = 24 * kHourMs;
// A drag narrower than this is a click; a zoom shows at least a few minutes.
constexpr int kMinDragPixels = 6;
constexpr qint64 kMinViewMs = 3 * kMinuteMs;
constexpr int kMargin = 8;

const QColor kBackground(255, 255, 255);
const QColor kGrid(232, 232, 232);
const QColor kAxisText(90, 90, 90);
const QColor kPriceLine(0, 90, 180);
const QColor kCloseLine(120, 120, 120);
const QColor kCrossHair(110, 110, 110);
const QColor kDragBand(0, 120, 215, 48);

// The first bar at or after ms.
QVector<HistoryBar>::const_iterator FirstFrom(const QVector<HistoryBar>& bars, qint64 ms) {
    return std::lower_bound(bars.cbegin(), bars.cend(), ms,
                            [](const HistoryBar& bar, qint64 t) { return bar.minuteMs < t; });
}

QDateTime Local(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
}

// 1, 2 or 5 times a power of ten, the smallest at least `rough`.
double NiceStep(double rough) {
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * power >= rough)
            return factor * power;
    }
    return 10 * power;
}

}  // namespace

TimeSpan SpanEndingAt(ChartSpan span, const QDateTime& now) {
    const qint64 to = now.toMSecsSinceEpoch();
    switch (span) {
        case ChartSpan::Hour:
            return {to - kHourMs, to};
        case ChartSpan::Today: {
            const QDateTime local = now.toLocalTime();
            return {QDateTime(local.date(), QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch(), to};
        }
        case ChartSpan::FiveDays:
            return {to - 5 * kDayMs, to};
        case ChartSpan::Month:
            return {to - 30 * kDayMs, to};
    }
    return {to - kHourMs, to};
}

QVector<HistoryBar> BarsWithin(const QVector<HistoryBar>& bars, TimeSpan span) {
    QVector<HistoryBar> within;
    for (const HistoryBar& bar : bars) {
        if (bar.minuteMs >= span.FromMs && bar.minuteMs < span.ToMs)
            within.append(bar);
    }
    return within;
}

TChartView::TChartView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 200);
}

void TChartView::SetData(QVector<HistoryBar> bars, double previousClose, TimeSpan span,
                         int decimals) {
    bars_ = std::move(bars);
    previousClose_ = previousClose > 0 && std::isfinite(previousClose) ? previousClose : 0;
    span_ = span;
    view_ = span;
    decimals_ = decimals;
    message_.clear();
    dragFrom_.reset();
    FitPrices();
    emit ViewChanged();
    update();
}

void TChartView::SetMessage(const QString& message) {
    message_ = message;
    update();
}

void TChartView::SetTrendColours(const QColor& rising, const QColor& falling) {
    rising_ = rising;
    falling_ = falling;
    update();
}

void TChartView::ZoomTo(TimeSpan view) {
    view.FromMs = std::max(view.FromMs, span_.FromMs);
    view.ToMs = std::min(view.ToMs, span_.ToMs);
    if (view.ToMs - view.FromMs < kMinViewMs) {
        const qint64 middle = (view.FromMs + view.ToMs) / 2;
        view = {std::max(span_.FromMs, middle - kMinViewMs / 2),
                std::min(span_.ToMs, middle + kMinViewMs / 2)};
    }
    if (view.ToMs <= view.FromMs || view == view_)
        return;
    view_ = view;
    FitPrices();
    emit ViewChanged();
    update();
}

void TChartView::ResetZoom() {
    ZoomTo(span_);
}

void TChartView::FitPrices() {
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (auto it = FirstFrom(bars_, view_.FromMs); it != bars_.cend() && it->minuteMs < view_.ToMs;
         ++it) {
        low = std::min({low, it->low > 0 ? it->low : it->close, it->close});
        high = std::max({high, it->high, it->close});
    }
    if (previousClose_ > 0) {
        low = std::min(low, previousClose_);
        high = std::max(high, previousClose_);
    }
    if (!std::isfinite(low) || !std::isfinite(high)) {
        low_ = 0;
        high_ = 1;
        return;
    }
    const double pad = high > low ? (high - low) * 0.06
                                  : std::max(std::abs(high) * 0.0005, std::pow(10.0, -decimals_));
    low_ = low - pad;
    high_ = high + pad;
}

QString TChartView::PriceText(double price) const {
    return QString::number(price, 'f', decimals_);
}

QRect TChartView::PlotRect() const {
    const QFontMetrics metrics(font());
    const int labels = std::max(metrics.horizontalAdvance(PriceText(high_)),
                                metrics.horizontalAdvance(PriceText(low_))) +
                       kMargin;
    return QRect(kMargin, kMargin, std::max(1, width() - 2 * kMargin - labels),
                 std::max(1, height() - 2 * kMargin - metrics.height() - 4));
}

double TChartView::XOf(qint64 ms) const {
    const QRect plot = PlotRect();
    const double span = static_cast<double>(std::max<qint64>(1, view_.ToMs - view_.FromMs));
    return plot.left() + static_cast<double>(ms - view_.FromMs) * plot.width() / span;
}

double TChartView::YOf(double price) const {
    const QRect plot = PlotRect();
    return plot.top() + (high_ - price) * plot.height() / (high_ - low_);
}

qint64 TChartView::TimeAt(double x) const {
    const QRect plot = PlotRect();
    const double span = static_cast<double>(view_.ToMs - view_.FromMs);
    return view_.FromMs +
           static_cast<qint64>(std::llround((x - plot.left()) * span / plot.width()));
}

std::optional<ChartPoint> TChartView::PointAt(const QPoint& position) const {
    if (!PlotRect().contains(position))
        return std::nullopt;
    const qint64 t = TimeAt(position.x());
    const auto first = FirstFrom(bars_, view_.FromMs);
    const auto end = FirstFrom(bars_, view_.ToMs);
    if (first == end)
        return std::nullopt;
    auto at = std::clamp(FirstFrom(bars_, t), first, end);
    // The nearer of the bars on either side of the pointer's time.
    if (at == end || (at != first && t - (at - 1)->minuteMs < at->minuteMs - t))
        --at;
    return ChartPoint{at->minuteMs, at->close};
}

QImage TChartView::Picture() {
    const std::optional<QPoint> pointer = std::exchange(pointer_, std::nullopt);
    const std::optional<int> drag = std::exchange(dragFrom_, std::nullopt);
    QImage image(size(), QImage::Format_RGB32);
    QPainter painter(&image);
    Draw(painter);
    pointer_ = pointer;
    dragFrom_ = drag;
    return image;
}

void TChartView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Draw(painter);
}

void TChartView::Draw(QPainter& painter) {
    painter.fillRect(rect(), kBackground);
    painter.setFont(font());
    if (!message_.isEmpty() || bars_.isEmpty()) {
        painter.setPen(kAxisText);
        painter.drawText(rect(), Qt::AlignCenter, message_.isEmpty() ? tr("暂无数据") : message_);
        return;
    }
    const QRect plot = PlotRect();
    DrawAxes(painter, plot);
    if (previousClose_ > 0) {
        painter.setPen(QPen(kCloseLine, 1, Qt::DashLine));
        const double y = YOf(previousClose_);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    DrawLine(painter, plot);
    DrawCorner(painter, plot);
    if (dragFrom_) {
        const int left = std::min(*dragFrom_, dragTo_);
        painter.fillRect(QRect(left, plot.top(), std::abs(dragTo_ - *dragFrom_), plot.height()),
                         kDragBand);
    }
    DrawCrossHair(painter, plot);
}

void TChartView::DrawAxes(QPainter& painter, const QRect& plot) {
    const QFontMetrics metrics(painter.font());
    // Prices: about one line per 40 pixels, on round values, never finer than the shown digits
    // (finer lines would repeat their labels, and a step below a price's own precision would never
    // get past the first).
    const int lines = std::max(2, plot.height() / 40);
    const double step = std::max(NiceStep((high_ - low_) / lines), std::pow(10.0, -decimals_));
    const double first = std::ceil(low_ / step) * step;
    for (int i = 0; i <= lines + 1; ++i) {
        const double p = first + i * step;
        if (p > high_)
            break;
        const double y = YOf(p);
        painter.setPen(kGrid);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(kAxisText);
        painter.drawText(QPointF(plot.right() + 4, y + metrics.ascent() / 2.0 - 1), PriceText(p));
    }

    // Times: the shortest step whose labels do not touch, on whole local hours and days.
    static constexpr std::array<qint64, 16> kSteps{
        1, 2, 5, 10, 15, 30, 60, 120, 180, 360, 720, 1440, 2880, 5 * 1440, 7 * 1440, 14 * 1440};
    const qint64 spanMs = view_.ToMs - view_.FromMs;
    const int room =
        std::max(1, plot.width() / (metrics.horizontalAdvance(QStringLiteral("00-00 00:00")) + 8));
    qint64 stepMs = kSteps.back() * kMinuteMs;
    for (const qint64 minutes : kSteps) {
        if (spanMs / (minutes * kMinuteMs) <= room) {
            stepMs = minutes * kMinuteMs;
            break;
        }
    }
    const bool manyDays = spanMs > kDayMs;
    QVector<qint64> ticks;
    const QDate firstDay = Local(view_.FromMs).date();
    if (stepMs < kDayMs) {
        for (QDate day = firstDay;; day = day.addDays(1)) {
            const qint64 midnight = QDateTime(day, QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch();
            if (midnight >= view_.ToMs)
                break;
            for (qint64 t = midnight; t < midnight + kDayMs && t < view_.ToMs; t += stepMs) {
                if (t >= view_.FromMs)
                    ticks.append(t);
            }
        }
    } else {
        const int days = static_cast<int>(stepMs / kDayMs);
        for (QDate day = firstDay;; day = day.addDays(days)) {
            const qint64 t = QDateTime(day, QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch();
            if (t >= view_.ToMs)
                break;
            if (t >= view_.FromMs)
                ticks.append(t);
        }
    }
    for (const qint64 t : ticks) {
        const double x = XOf(t);
        painter.setPen(kGrid);
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        const QDateTime local = Local(t);
        const QString label = (stepMs >= kDayMs || (manyDays && local.time() == QTime(0, 0)))
                                  ? local.toString(QStringLiteral("MM-dd"))
                                  : local.toString(QStringLiteral("hh:mm"));
        const int w = metrics.horizontalAdvance(label);
        const double left = std::clamp(x - w / 2.0, 0.0, static_cast<double>(width() - w));
        painter.setPen(kAxisText);
        painter.drawText(QPointF(left, plot.bottom() + 4 + metrics.ascent()), label);
    }
    painter.setPen(kAxisText);
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
}

void TChartView::DrawLine(QPainter& painter, const QRect& plot) {
    // One column of pixels holds its first, lowest, highest and last close: a month of minutes
    // draws as fast as an hour, and every swing still shows.
    QPolygonF points;
    int column = std::numeric_limits<int>::min();
    double first = 0, lowest = 0, highest = 0, last = 0;
    const auto flush = [&] {
        if (column == std::numeric_limits<int>::min())
            return;
        points << QPointF(column, first);
        if (lowest != first && lowest != last)
            points << QPointF(column, lowest);
        if (highest != first && highest != last && highest != lowest)
            points << QPointF(column, highest);
        if (last != first)
            points << QPointF(column, last);
    };
    const double span = static_cast<double>(view_.ToMs - view_.FromMs);
    const double scale = plot.height() / (high_ - low_);
    for (auto it = FirstFrom(bars_, view_.FromMs); it != bars_.cend() && it->minuteMs < view_.ToMs;
         ++it) {
        const int x =
            plot.left() + static_cast<int>((it->minuteMs - view_.FromMs) * plot.width() / span);
        const double y = plot.top() + (high_ - it->close) * scale;
        if (x != column) {
            flush();
            column = x;
            first = lowest = highest = last = y;
        } else {
            // y grows downwards: the lowest price is the largest y.
            lowest = std::max(lowest, y);
            highest = std::min(highest, y);
            last = y;
        }
    }
    flush();
    painter.save();
    painter.setClipRect(plot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kPriceLine, 1.5));
    if (points.size() == 1) {
        painter.setBrush(kPriceLine);
        painter.drawEllipse(points.first(), 2, 2);
    } else {
        painter.drawPolyline(points);
    }
    painter.restore();
}

void TChartView::DrawCorner(QPainter& painter, const QRect& plot) {
    const double last = bars_.last().close;
    QString text = PriceText(last);
    QColor colour = kAxisText.darker(200);
    if (previousClose_ > 0) {
        const double change = last - previousClose_;
        const double percent = change / previousClose_ * 100;
        text += QStringLiteral("  %1%2  %3%4%")
                    .arg(change > 0 ? QStringLiteral("+") : QString(), PriceText(change),
                         percent > 0 ? QStringLiteral("+") : QString())
                    .arg(percent, 0, 'f', 2);
        const double unit = std::pow(10.0, -decimals_) / 2;
        if (change > unit && rising_.isValid())
            colour = rising_;
        else if (change < -unit && falling_.isValid())
            colour = falling_;
    }
    const QFontMetrics metrics(painter.font());
    const QRect box(plot.left() + 1, plot.top() + 1, metrics.horizontalAdvance(text) + 8,
                    metrics.height() + 4);
    painter.fillRect(box, QColor(255, 255, 255, 220));
    painter.setPen(colour);
    painter.drawText(box, Qt::AlignCenter, text);
}

void TChartView::DrawCrossHair(QPainter& painter, const QRect& plot) {
    if (!pointer_ || dragFrom_)
        return;
    const std::optional<ChartPoint> point = PointAt(*pointer_);
    if (!point)
        return;
    const double x = XOf(point->Ms);
    const double y = YOf(point->Price);
    painter.setPen(QPen(kCrossHair, 1, Qt::DotLine));
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    const QString text = Local(point->Ms).toString(QStringLiteral("MM-dd hh:mm")) +
                         QStringLiteral("  ") + PriceText(point->Price);
    const QFontMetrics metrics(painter.font());
    QRect box(0, 0, metrics.horizontalAdvance(text) + 8, metrics.height() + 4);
    box.moveTopLeft(*pointer_ + QPoint(12, -box.height() - 6));
    if (box.right() > plot.right())
        box.moveRight(pointer_->x() - 12);
    if (box.top() < plot.top())
        box.moveTop(pointer_->y() + 12);
    painter.fillRect(box, QColor(255, 255, 225));
    painter.setPen(kAxisText);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setPen(Qt::black);
    painter.drawText(box, Qt::AlignCenter, text);
}

void TChartView::mousePressEvent(QMouseEvent* event) {
    const QRect plot = PlotRect();
    if (event->button() == Qt::LeftButton && plot.contains(event->position().toPoint())) {
        dragFrom_ = static_cast<int>(event->position().x());
        dragTo_ = *dragFrom_;
        update();
    }
    QWidget::mousePressEvent(event);
}

void TChartView::mouseMoveEvent(QMouseEvent* event) {
    pointer_ = event->position().toPoint();
    if (dragFrom_) {
        const QRect plot = PlotRect();
        dragTo_ = std::clamp(pointer_->x(), plot.left(), plot.right());
    }
    update();
}

void TChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragFrom_) {
        const int from = std::exchange(dragFrom_, std::nullopt).value();
        if (std::abs(dragTo_ - from) >= kMinDragPixels)
            ZoomTo({TimeAt(std::min(from, dragTo_)), TimeAt(std::max(from, dragTo_))});
        update();
    }
    QWidget::mouseReleaseEvent(event);
}

void TChartView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        ResetZoom();
}

void TChartView::leaveEvent(QEvent* event) {
    pointer_.reset();
    update();
    QWidget::leaveEvent(event);
}

}  // namespace kestrel
