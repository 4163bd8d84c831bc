// The quote lines drawn into the window's picture, the countdown bar, and the window sized to
// the lines.
#include <QLabel>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "platform/windowservices.h"
#include "quotes/quotelines.h"
#include "ui/mainwindow/mainform.h"
#include "ui/mainwindow/windowsizes.h"

namespace kestrel {

namespace {

const QColor kBarColour(128, 128, 128);
const QColor kTimeLineColour(0, 0, 0);
// A price that is not live: its market is closed, or it has not moved for a while.
const QColor kQuietColour(128, 128, 128);

QColor FromRgb(quint32 rgb) {
    return QColor::fromRgb(static_cast<QRgb>(rgb));
}

bool HasChinese(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.script() == QChar::Script_Han; });
}

}  // namespace

QuoteLineParts SplitQuoteLine(const QString& line) {
    if (!line.startsWith(u'【'))
        return {{}, line};
    const qsizetype end = line.indexOf(u'】');
    if (end < 0)
        return {{}, line};
    qsizetype rest = end + 1;
    while (rest < line.size() && (line.at(rest) == u'\u3000' || line.at(rest) == u' '))
        ++rest;
    return {line.left(end + 1), line.mid(rest)};
}

int QuoteValueLeft(const QFontMetrics& metrics, const QStringList& lines) {
    bool latin = false;
    int widest = 0;
    for (const QString& line : lines) {
        const QString label = SplitQuoteLine(line).Label;
        if (label.isEmpty())
            continue;
        latin = latin || !HasChinese(label);
        widest = std::max(widest, metrics.horizontalAdvance(label));
    }
    return latin ? widest + metrics.horizontalAdvance(QStringLiteral("  ")) : 0;
}

int QuoteLineAdvance(const QFontMetrics& metrics, const QString& line, int valueLeft) {
    const QuoteLineParts parts = SplitQuoteLine(line);
    if (valueLeft <= 0 || parts.Label.isEmpty())
        return metrics.horizontalAdvance(line);
    return valueLeft + metrics.horizontalAdvance(parts.Rest);
}

void TProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (OnPaint)
        OnPaint(painter);
}

void TileBackground(QImage& target, const QImage& tile, const QRect& rect) {
    const int w = tile.width();
    const int h = tile.height();
    if (w <= 0 || h <= 0)
        return;
    const int L = rect.left();
    const int T = rect.top();
    const int R = rect.left() + rect.width();
    const int B = rect.top() + rect.height();
    const int nx = (R - L) / w;
    const int ny = (B - T) / h;
    QPainter painter(&target);
    // Whole tiles, then the right strip, the bottom strip and the corner, each cut from the
    // tile's top-left part.
    for (int y = 0; y < ny; ++y) {
        for (int x = 0; x < nx; ++x)
            painter.drawImage(L + x * w, T + y * h, tile);
    }
    const int restW = R - (L + nx * w);
    const int restH = B - (T + ny * h);
    for (int y = 0; y < ny && restW > 0; ++y) {
        painter.drawImage(QPoint(L + nx * w, T + y * h), tile, QRect(0, 0, restW, h));
    }
    for (int x = 0; x < nx && restH > 0; ++x) {
        painter.drawImage(QPoint(L + x * w, T + ny * h), tile, QRect(0, 0, w, restH));
    }
    if (restW > 0 && restH > 0) {
        painter.drawImage(QPoint(L + nx * w, T + ny * h), tile, QRect(0, 0, restW, restH));
    }
}

int TMainForm::LineHeight() const {
    // The text height of "|" is the font's cell height; halves round to even.
    return static_cast<int>(std::nearbyint(QFontMetrics(MemoPrice.Font).height() * LineSpacing));
}

void TMainForm::RenderWith(bool coloured) {
    const QSize outer = frameGeometry().size().expandedTo(size());
    // The screen's own format: the label's pixmap then shares these pixels instead of converting
    // a copy of them.
    CanvasBitmap = QImage(outer, QImage::Format_RGB32);
    CanvasBitmap.fill(pnlContent->palette().color(QPalette::Window));
    if (HasBackground)
        TileBackground(CanvasBitmap, BackgroundBitmap, CanvasBitmap.rect());

    QPainter painter(&CanvasBitmap);
    painter.setFont(MemoPrice.Font);
    painter.setBackgroundMode(Qt::TransparentMode);
    const int lineHeight = LineHeight();
    int row = 0;
    int line = 0;
    // The sparklines stand in one column after the widest line.
    const QFontMetrics metrics(MemoPrice.Font);
    const int valueLeft = QuoteValueLeft(metrics, MemoPrice.Lines);
    int sparklineLeft = 0;
    if (coloured && ShowSparkline) {
        for (const QString& text : MemoPrice.Lines)
            sparklineLeft = std::max(sparklineLeft, QuoteLineAdvance(metrics, text, valueLeft));
        sparklineLeft += kSparklineGap;
    }
    const auto draw = [&](const QString& text, const QColor& colour) {
        constexpr int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine;
        painter.setPen(colour);
        const QRect rect(0, row * lineHeight, CanvasBitmap.width(), lineHeight);
        const QuoteLineParts parts = SplitQuoteLine(text);
        if (valueLeft > 0 && !parts.Label.isEmpty()) {
            painter.drawText(rect, flags, parts.Label);
            painter.drawText(rect.adjusted(valueLeft, 0, 0, 0), flags, parts.Rest);
        } else {
            painter.drawText(rect, flags, text);
        }
        ++row;
        ++line;
    };
    // A page of made-up prices has its marked time line even where the time is switched off.
    if ((DisplayTime || (coloured && Page.Demo())) && !MemoPrice.Lines.isEmpty())
        draw(MemoPrice.Lines.at(0), kTimeLineColour);
    const int firstInstrumentLine = line;
    while (line < MemoPrice.Lines.size()) {
        QColor colour = MemoPrice.FontColor;
        const int i = line - firstInstrumentLine;
        if (coloured && QuietLines.value(i)) {
            colour = kQuietColour;
        } else if (coloured && i < Quotes.CurQuotes.size()) {
            if (const auto rgb = TrendRgb(SlotTrend(Quotes, i), ColorMode))
                colour = FromRgb(*rgb);
        }
        if (sparklineLeft > 0 && i < SelectedInstruments.size())
            DrawSparkline(
                painter,
                QRect(sparklineLeft, row * lineHeight + 2, kSparklineWidth, lineHeight - 4),
                SelectedInstruments.at(i), colour);
        draw(MemoPrice.Lines.at(line), colour);
    }
}

void TMainForm::RenderLines() {
    RenderWith(false);
}

void TMainForm::RenderColouredLines() {
    RenderWith(true);
}

void TMainForm::ShowCanvas() {
    imgPrice->setPixmap(QPixmap::fromImage(CanvasBitmap));
}

QImage TMainForm::ShownImage() const {
    return imgPrice->pixmap().toImage();
}

void TMainForm::AutoSizeWindow() {
    setFont(MemoPrice.Font);
    const QFontMetrics metrics(MemoPrice.Font);
    const int lineHeight = LineHeight();
    const int valueLeft = QuoteValueLeft(metrics, MemoPrice.Lines);
    int widest = 0;
    for (const QString& line : MemoPrice.Lines) {
        widest = std::max(widest, QuoteLineAdvance(metrics, line, valueLeft));
    }
    const int lines = static_cast<int>(MemoPrice.Lines.size());
    const bool barShown = !pbProgress->isHidden();
    const int outerHeight =
        lines * lineHeight + (barShown ? kHeightMarginWithBar : kHeightMarginWithoutBar);
    if (ShowSparkline)
        widest += kSparklineGap + kSparklineWidth;
    const int outerWidth = widest + kWidthMargin;
    // The margins were measured with a frame and a caption; the client area is what remains
    // after this desktop's frame, but never less than the lines need inside the panel border.
    const QMargins frame = services_.Window ? services_.Window->FrameMargins(this) : QMargins();
    const int barHeight = barShown ? kBarHeight : 0;
    const int inset = kPanelBorder + imgPrice->frameWidth();
    const int clientWidth = std::max(outerWidth - frame.left() - frame.right(), widest + 2 * inset);
    const int clientHeight = std::max(outerHeight - frame.top() - frame.bottom(),
                                      lines * lineHeight + 2 * inset + barHeight);
    const QRect before = OuterRect();
    setFixedSize(clientWidth, clientHeight);
    // The window keeps the corner nearest to the screen's corner, except at the first sizing: a
    // window placed near the panel is placed again for its real size and frame (known only once
    // it is shown), unless the user has dragged it meanwhile.
    if (placementPending_ && !userMoved_ && !MovedSincePlaced()) {
        ApplyPlacement();
        KeepOnScreen();
    } else {
        KeepOnScreen(before);
    }
    placementPending_ = false;
}

void TMainForm::pbProgressPaint(QPainter& painter) {
    if (PaintingBar)
        return;
    PaintingBar = true;
    struct Clear {
        bool& flag;
        ~Clear() { flag = false; }
    } clear{PaintingBar};
    const int W = pbProgress->width();
    const int H = pbProgress->height();
    const QColor face = pnlContent->palette().color(QPalette::Window);
    painter.fillRect(pbProgress->rect(), face);
    if (pbProgress->isVisible() && TicksThisRound > 0) {
        const int right =
            static_cast<int>(std::nearbyint(static_cast<double>(W - 1) * Tick / TicksThisRound));
        if (right > 1 && H > 2)
            painter.fillRect(QRect(QPoint(1, 1), QPoint(right - 1, H - 2)), kBarColour);
    }
    if (Tick == 0 || Tick == TicksThisRound)
        painter.fillRect(pbProgress->rect(), face);
}

}  // namespace kestrel
