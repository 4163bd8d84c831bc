// The chart window of one instrument: "走势图 - NAME", the spans as buttons, the chart, and
// the export of its picture and its bars from the window's menu. The bars are read off the GUI
// thread; a window closed meanwhile drops what comes.
#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <functional>

#include "history/historystore.h"
#include "ui/chart/chartview.h"

class QAbstractButton;
class QButtonGroup;

namespace kestrel {

// Where the window reads from. Both are called on a thread of the pool, never on the GUI thread;
// an empty one reads nothing.
struct ChartSources {
    std::function<QVector<HistoryBar>(const QString& code, qint64 fromMs, qint64 toMs)> Bars;
    std::function<QVector<HistoryDay>(const QString& code, QDate from, QDate to)> Days;
};

class TChartForm : public QMainWindow {
    Q_OBJECT
public:
    // name: the instrument as the catalogue names it; iniPath: where the window's place is kept.
    TChartForm(const QString& name, ChartSources sources, const QString& iniPath,
               QWidget* parent = nullptr);

    QString Name() const { return name_; }
    // The previous close the rates page gives (0: none; the store's last daily close before
    // today is taken then), and the colours of rises and falls (Param/ColorMode).
    void SetPreviousClose(double close) { pageClose_ = close; }
    void SetColorMode(int colorMode);
    // Reads the span again (the zoom goes). Reload does so at most once a minute, and keeps a
    // zoomed view as it is.
    void ShowSpan(ChartSpan span);
    void Reload();
    ChartSpan Span() const { return span_; }
    TChartView* View() const { return chart_; }
    // The moment the spans end at (tests move it).
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTimeUtc(); };

    // The picture as a PNG file and the bars in view as CSV; false with the reason on failure.
    bool SavePng(const QString& path, QString& error);
    bool SaveCsv(const QString& path, QString& error);

    // The window's place from the settings file when a screen shows it, else the middle of the
    // screen of `beside`; saved as it closes.
    void RestorePlace(const QWidget* beside = nullptr);
    void SavePlace();

Q_SIGNALS:
    // The bars of a read are shown.
    void Loaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Received(quint64 generation, TimeSpan range, const QVector<HistoryBar>& bars,
                  double previousClose);
    void ExportPicture();
    void ExportData();
    QString SuggestedFile(const QString& suffix) const;

    QString name_;
    QString code_;
    ChartSources sources_;
    QString iniPath_;
    double pageClose_ = 0;
    ChartSpan span_ = ChartSpan::Today;
    quint64 generation_ = 0;
    qint64 readMs_ = 0;  // when the last read began
    TChartView* chart_ = nullptr;
    QButtonGroup* spans_ = nullptr;
    QAbstractButton* unzoom_ = nullptr;
};

}  // namespace kestrel
