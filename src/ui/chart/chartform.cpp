#include "ui/chart/chartform.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QStandardPaths>
#include <QThreadPool>
#include <QVBoxLayout>
#include <algorithm>

#include "history/historytext.h"
#include "quotes/catalogue.h"
#include "quotes/quotelines.h"
#include "quotes/quoterecord.h"
#include "settings/profile.h"
#include "settings/settingskeys.h"
#include "settings/settingsload.h"
#include "ui/logging.h"

namespace kestrel {

namespace {

// How much of a stored place must lie on a screen for the window to go back there: enough of
// its top to take hold of.
constexpr int kVisibleWidth = 120;
constexpr int kVisibleHeight = 40;
constexpr qint64 kReloadMs = 60'000;

QColor FromRgb(quint32 rgb) {
    return QColor::fromRgb(static_cast<QRgb>(rgb));
}

// The last daily close before the day.
double CloseBefore(const QVector<HistoryDay>& days, QDate day) {
    double close = 0;
    QDate latest;
    for (const HistoryDay& d : days) {
        if (d.date < day && d.close > 0 && (!latest.isValid() || d.date > latest)) {
            latest = d.date;
            close = d.close;
        }
    }
    return close;
}

}  // namespace

TChartForm::TChartForm(const QString& name, ChartSources sources, const QString& iniPath,
                       QWidget* parent)
    : QMainWindow(parent),
      name_(name),
      code_(InstrumentCode(name)),
      sources_(std::move(sources)),
      iniPath_(iniPath) {
    setWindowTitle(tr("走势图 - %1").arg(ShownInstrumentName(name)));
    setAttribute(Qt::WA_DeleteOnClose);

    QMenu* file = menuBar()->addMenu(tr("文件"));
    file->addAction(tr("导出图片..."), this, &TChartForm::ExportPicture);
    file->addAction(tr("导出数据..."), this, &TChartForm::ExportData);
    file->addSeparator();
    file->addAction(tr("关闭"), QKeySequence::Close, this, &QWidget::close);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);
    auto* buttons = new QHBoxLayout;
    spans_ = new QButtonGroup(this);
    const std::pair<ChartSpan, QString> spans[] = {
        {ChartSpan::Hour, tr("1小时")},
        {ChartSpan::Today, tr("今天")},
        {ChartSpan::FiveDays, tr("5天")},
        {ChartSpan::Month, tr("1个月")},
    };
    for (const auto& [span, text] : spans) {
        auto* button = new QPushButton(text);
        button->setCheckable(true);
        button->setChecked(span == span_);
        spans_->addButton(button, static_cast<int>(span));
        buttons->addWidget(button);
    }
    connect(spans_, &QButtonGroup::idClicked, this,
            [this](int id) { ShowSpan(static_cast<ChartSpan>(id)); });
    buttons->addStretch(1);
    unzoom_ = new QPushButton(tr("还原缩放"));
    unzoom_->setEnabled(false);
    buttons->addWidget(unzoom_);
    layout->addLayout(buttons);
    chart_ = new TChartView;
    chart_->setFont(QApplication::font());
    layout->addWidget(chart_, 1);
    setCentralWidget(central);
    connect(unzoom_, &QAbstractButton::clicked, chart_, &TChartView::ResetZoom);
    connect(chart_, &TChartView::ViewChanged, this,
            [this] { unzoom_->setEnabled(chart_->Zoomed()); });
    SetColorMode(keys::ColorMode.IntegerDefault());
}

void TChartForm::SetColorMode(int colorMode) {
    if (colorMode == kColourModeMuted)
        chart_->SetTrendColours({}, {});
    else
        chart_->SetTrendColours(FromRgb(RisingRgb(colorMode)), FromRgb(FallingRgb(colorMode)));
}

void TChartForm::ShowSpan(ChartSpan span) {
    span_ = span;
    if (QAbstractButton* button = spans_->button(static_cast<int>(span)))
        button->setChecked(true);
    const TimeSpan range = SpanEndingAt(span, Now());
    readMs_ = range.ToMs;
    const quint64 generation = ++generation_;
    if (chart_->Bars().isEmpty())
        chart_->SetMessage(tr("正在读取..."));
    // The read owns copies of what it needs: the window may be gone by the time it ends, and
    // then nothing of it is touched.
    // The history dates its daily closes by the quote's UTC day.
    const QDate today = Now().toUTC().date();
    QThreadPool::globalInstance()->start([sources = sources_, code = code_, range, today,
                                          pageClose = pageClose_, generation,
                                          window = QPointer<TChartForm>(this)] {
        QVector<HistoryBar> bars;
        if (sources.Bars && !code.isEmpty())
            bars = sources.Bars(code, range.FromMs, range.ToMs);
        std::sort(bars.begin(), bars.end(),
                  [](const HistoryBar& a, const HistoryBar& b) { return a.minuteMs < b.minuteMs; });
        double close = pageClose;
        if (close <= 0 && sources.Days && !code.isEmpty())
            close = CloseBefore(sources.Days(code, today.addDays(-10), today), today);
        QMetaObject::invokeMethod(
            qApp,
            [window, generation, range, bars = std::move(bars), close] {
                if (window)
                    window->Received(generation, range, bars, close);
            },
            Qt::QueuedConnection);
    });
}

void TChartForm::Reload() {
    // The history holds a bar a minute: more often reads nothing new.
    if (!chart_->Zoomed() && Now().toMSecsSinceEpoch() - readMs_ >= kReloadMs)
        ShowSpan(span_);
}

void TChartForm::Received(quint64 generation, TimeSpan range, const QVector<HistoryBar>& bars,
                          double previousClose) {
    // Only the latest read is shown: an earlier span's answer that comes late is dropped.
    if (generation != generation_)
        return;
    chart_->SetData(BarsWithin(bars, range), previousClose, range, DecimalsFor(DisplayName(name_)));
    emit Loaded();
}

bool TChartForm::SavePng(const QString& path, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !chart_->Picture().save(&file, "PNG") ||
        !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool TChartForm::SaveCsv(const QString& path, QString& error) {
    QSaveFile file(path);
    const QByteArray data =
        HistoryBarsCsv(chart_->VisibleBars(), [](qint64 ms) { return IsoLocalTime(ms); }).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

QString TChartForm::SuggestedFile(const QString& suffix) const {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return folder + QLatin1Char('/') + (code_.isEmpty() ? name_ : code_) + QLatin1Char('-') +
           Now().toLocalTime().toString(QStringLiteral("yyyyMMdd-hhmm")) + suffix;
}

void TChartForm::ExportPicture() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("导出图片"), SuggestedFile(QStringLiteral(".png")), tr("PNG 图片 (*.png)"));
    QString error;
    if (!path.isEmpty() && !SavePng(path, error))
        QMessageBox::warning(this, tr("导出图片"), tr("无法写入 %1：%2").arg(path, error));
}

void TChartForm::ExportData() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("导出数据"), SuggestedFile(QStringLiteral(".csv")), tr("CSV 文件 (*.csv)"));
    QString error;
    if (!path.isEmpty() && !SaveCsv(path, error))
        QMessageBox::warning(this, tr("导出数据"), tr("无法写入 %1：%2").arg(path, error));
}

void TChartForm::RestorePlace(const QWidget* beside) {
    const QRect place = ReadChartPlace(TIniFile::Snapshot(iniPath_));
    resize(place.size());
    if (place.x() >= 0 && place.y() >= 0) {
        const QRect top(place.topLeft(), QSize(place.width(), kVisibleHeight));
        for (const QScreen* screen : QGuiApplication::screens()) {
            const QRect seen = screen->availableGeometry().intersected(top);
            if (seen.width() >= kVisibleWidth && seen.height() >= kVisibleHeight) {
                move(place.topLeft());
                return;
            }
        }
    }
    // Nowhere to go back to: centred on the screen of the window that opened it.
    const QScreen* screen = beside ? beside->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame(QPoint(), place.size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void TChartForm::SavePlace() {
    try {
        TIniFile ini(iniPath_);
        TIniEdit edit(ini);
        WriteInteger(edit, keys::ChartPosX, pos().x());
        WriteInteger(edit, keys::ChartPosY, pos().y());
        WriteInteger(edit, keys::ChartWidth, width());
        WriteInteger(edit, keys::ChartHeight, height());
        edit.Commit();
    } catch (const WriteError& e) {
        qCWarning(lcUi, "the chart's place is not kept: %s", e.what());
    }
}

void TChartForm::closeEvent(QCloseEvent* event) {
    SavePlace();
    QMainWindow::closeEvent(event);
}

}  // namespace kestrel
