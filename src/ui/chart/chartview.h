// The price chart: the minute bars of a span as a line, the previous close dashed across it,
// local time below, the last price and its change in the corner, a cross-hair under the pointer
// and zoom by dragging. A view only: it draws what it is given.
#pragma once

#include <QDateTime>
#include <QImage>
#include <QVector>
#include <QWidget>
#include <optional>

#include "history/historystore.h"

namespace kestrel {

// The spans the chart window offers.
enum class ChartSpan { Hour, Today, FiveDays, Month };

// [FromMs, ToMs), UTC ms.
struct TimeSpan {
    qint64 FromMs = 0;
    qint64 ToMs = 0;
    bool operator==(const TimeSpan&) const = default;
};

// The span that ends at now; "today" starts at the local midnight.
TimeSpan SpanEndingAt(ChartSpan span, const QDateTime& now);
// The bars whose minute lies in the span, in the order given.
QVector<HistoryBar> BarsWithin(const QVector<HistoryBar>& bars, TimeSpan span);

// What the cross-hair shows: the bar nearest to the pointer's time.
struct ChartPoint {
    qint64 Ms = 0;
    double Price = 0;
};

class TChartView : public QWidget {
    Q_OBJECT
public:
    explicit TChartView(QWidget* parent = nullptr);

    // The span's bars sorted by minute, the previous close (0: none) and the decimals of the
    // instrument's prices. The zoom goes.
    void SetData(QVector<HistoryBar> bars, double previousClose, TimeSpan span, int decimals);
    // A line in place of the chart while there is nothing to draw ("正在读取...").
    void SetMessage(const QString& message);
    // Colours of a rise and a fall in the corner's change; invalid: the text colour.
    void SetTrendColours(const QColor& rising, const QColor& falling);

    const QVector<HistoryBar>& Bars() const { return bars_; }
    double PreviousClose() const { return previousClose_; }
    // The part of the span in view, and the bars in it.
    TimeSpan View() const { return view_; }
    QVector<HistoryBar> VisibleBars() const { return BarsWithin(bars_, view_); }
    bool Zoomed() const { return view_ != span_; }
    void ZoomTo(TimeSpan view);
    void ResetZoom();

    // Where the lines go: the plot's rectangle, and a time's x and a price's y in it.
    QRect PlotRect() const;
    double XOf(qint64 ms) const;
    double YOf(double price) const;
    std::optional<ChartPoint> PointAt(const QPoint& position) const;

    // The chart as it is drawn at its size.
    QImage Picture();

Q_SIGNALS:
    void ViewChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void Draw(QPainter& painter);
    void DrawAxes(QPainter& painter, const QRect& plot);
    void DrawLine(QPainter& painter, const QRect& plot);
    void DrawCorner(QPainter& painter, const QRect& plot);
    void DrawCrossHair(QPainter& painter, const QRect& plot);
    void FitPrices();
    qint64 TimeAt(double x) const;
    QString PriceText(double price) const;

    QVector<HistoryBar> bars_;
    double previousClose_ = 0;
    TimeSpan span_;
    TimeSpan view_;
    int decimals_ = 4;
    double low_ = 0;
    double high_ = 1;
    QString message_;
    QColor rising_;
    QColor falling_;
    std::optional<QPoint> pointer_;
    std::optional<int> dragFrom_;
    int dragTo_ = 0;
};

}  // namespace kestrel
