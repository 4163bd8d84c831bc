// The ticker window: the refresh cycle, the quote drawing, the window's behaviour and its menu.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "alarm/alarmevaluator.h"
#include "alarm/alarmmonitor.h"
#include "feeds/builtin.h"
#include "history/historystore.h"
#include "net/httpclient.h"
#include "platform/alarmcommand.h"
#include "platform/instancebus.h"
#include "platform/programfiles.h"
#include "platform/sessionnotes.h"
#include "platform/trayshell.h"
#include "quotes/catalogue.h"
#include "quotes/quotelines.h"
#include "quotes/ratespage.h"
#include "settings/fonttext.h"
#include "settings/hotkeytext.h"
#include "settings/settingskeys.h"
#include "ui/chart/chartform.h"
#include "ui/mainwindow/gatewayhistory.h"
#include "ui/upgrade/updater.h"

class QAction;
class QScreen;
class QFrame;
class QLabel;

namespace kestrel {

class IHotKeyService;
class IShortcutService;
class IWindowServices;
class HotKeyAtom;
class INotifier;
class TAlarmForm;
class TTrayIcon;
struct Settings;

// The services the window needs from the desktop; tests hand in fakes.
struct MainFormServices {
    IWindowServices* Window = nullptr;
    IHotKeyService* HotKey = nullptr;
    std::unique_ptr<ITrayShell> TrayShell;  // handed on to the tray icon
    HotKeyAtom* Atom = nullptr;
    IShortcutService* Shortcuts = nullptr;  // for the settings dialog's shortcut button
    bool LayerSurface = false;              // the ticker is drawn into a layer surface of its own
};

// The hidden store of the display lines and the quote font.
struct TMemo {
    QStringList Lines;
    QFont Font;
    QColor FontColor;
    FontDesc Desc;  // the font as the settings describe it
};

// The countdown bar; its painting is the main window's pbProgressPaint.
class TProgressBar : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    std::function<void(QPainter&)> OnPaint;

protected:
    void paintEvent(QPaintEvent*) override;
};

class TMainForm : public QWidget {
    Q_OBJECT
public:
    TMainForm(const ProgramFiles& files, MainFormServices services, const QStringList& arguments,
              QWidget* parent = nullptr);
    ~TMainForm() override;

    // The alarm window is made by its owner the first time an alarm goes off, not at start-up.
    void SetAlarmForm(std::function<TAlarmForm*()> source) { AlarmFormSource = std::move(source); }
    // Likewise the desktop notifications, the first time a rule of [Alarms] fires.
    void SetNotifier(std::function<INotifier*()> source) { NotifierSource = std::move(source); }
    // True once the program has been told to end, even before its event loop runs.
    bool Quitting() const { return quitting_; }
    // Off where the compositor alone places the window: Form/Pos_X and Pos_Y are left as they are.
    void SetPositionMeaningful(bool meaningful) { PositionMeaningful = meaningful; }
    // The alarm once closed watches no more, until the settings are applied again.
    void StopPriceMonitor() { Alarm.UseMonitor = false; }
    // The display lines, from which the canvas is drawn.
    const QStringList& DisplayLines() const { return MemoPrice.Lines; }
    // The rules of [Alarms] as the last settings gave them, with what they have seen.
    const AlarmEvaluator& AlarmRules() const { return Rules; }
    // The time between downloads in effect, in seconds.
    int IntervalSeconds() const { return TicksPerInterval / TicksPerSecond; }

    // Handlers and operations.
    void ApplySettings();
    void StartFetch();
    void tmTimerTimer();
    void tmTimerCheckerTimer();
    void FormActivate();
    void mnSetupParameterClick();
    void mnReadNowClick();
    int LineHeight() const;
    void SaveWindowPosition();
    // A command from another process (kestrel --toggle ..., or the bus).
    void RunCommand(InstanceCommand command);
    // The catalogue name of an instrument given by its name in any letter case, its short name
    // or its code; empty when it names none.
    QString ChartName(const QString& given) const;
    // Opens the chart window of the instrument, or brings its open one forward.
    TChartForm* OpenChart(const QString& name);

    // The canvas as imgPrice shows it.
    QImage ShownImage() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window's unit test drives its timers and components and reads its canvas.
    friend class TestMainForm;

    // Components, named as in the window's design.
    QLabel* imgPrice = nullptr;
    QTimer* tmTimer = nullptr;
    QTimer* tmTimerChecker = nullptr;
    THTTPClient QuoteHTTP;
    // Reads the public feeds itself when no rates page address is set.
    feeds::BuiltinSource Builtin;
    TUpdater Updater;
    QFrame* pnlContent = nullptr;
    TMemo MemoPrice;
    TProgressBar* pbProgress = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* mnAutoAdjustSize = nullptr;
    QAction* mnAlwaysOnTop = nullptr;
    QMenu* mnChart = nullptr;  // 走势图..., one item per shown instrument
    QMenu* mnHelpGroup = nullptr;
    QAction* mnOnlineUpdate = nullptr;
    // The tray icon's menu: mnShowHide (the default item), then the items of PopupMenu1.
    QMenu* TrayMenu = nullptr;
    TTrayIcon* TrayIcon = nullptr;
    QAction* mnSetupParameter = nullptr;
    QAction* mnReadNow = nullptr;
    QAction* mnWhatsNew = nullptr;
    QAction* mnHelp = nullptr;
    QAction* N3 = nullptr;
    QAction* mnQuit = nullptr;
    QAction* mnShowHide = nullptr;
    QAction* mnStopAlarm = nullptr;  // in the tray menu while an alarm sounds

    // State.
    QStringList SelectedInstruments;
    QImage CanvasBitmap;
    bool HasBackground = false;
    int TicksPerSecond = kTicksPerSecond;
    int TicksPerInterval = keys::Interval.IntegerDefault() * kTicksPerSecond;
    int Tick = 0;
    // The ticks of the countdown under way: the interval, or the long wait while every selected
    // market is closed (at most ten minutes, never past the first opening).
    int TicksThisRound = keys::Interval.IntegerDefault() * kTicksPerSecond;
    int RoundTicks() const;
    // The moment the market hours are judged at (tests move it).
    std::function<QDateTime()> MarketNow = [] { return QDateTime::currentDateTimeUtc(); };
    // Per selected instrument: its line is quiet (market closed, or the quote not moving).
    QList<bool> QuietLines;
    qint64 lastTickWallMs_ = 0;
    static constexpr qint64 kClockJumpMs = 5000;
    bool PositionMeaningful = true;
    AlarmSettings Alarm;
    long double MonitorQuote = 0;
    std::function<TAlarmForm*()> AlarmFormSource;
    ProgramFiles Files;
    RatesPage Page;
    QTime ShownTime;  // when the values of Page came
    bool UseBuiltin = true;
    QuoteSlots Quotes;
    QImage BackgroundBitmap;
    int PromptCounter = 0;
    bool UserAskedUpgrade = false;
    bool PaintingBar = false;
    double LineSpacing = keys::LineSpacing.Default;
    int ColorMode = keys::ColorMode.IntegerDefault();
    bool DisplayTime = keys::DisplayTime.BooleanDefault();
    LineOptions QuoteLook;  // what the quote lines show besides the prices
    bool AutoPrompt = keys::AutoPrompt.BooleanDefault();
    int PromptInterval = keys::PromptInterval.IntegerDefault();
    bool Alpha = keys::Alpha.BooleanDefault();
    int AlphaBlendValue = 80;
    bool NotRunWeekEnd = keys::NotRunWeekEnd.BooleanDefault();
    quint16 HotKeyShortCut = 0;
    HotKeyRegistration HotKeyReg;
    long double MonitorPrevQuote = 0;
    bool MonitorRaised = false;  // the alarm has been raised since it was armed
    AlarmEvaluator Rules;
    bool AlarmNotify = keys::AlarmNotify.BooleanDefault();
    QString AlarmCommand;
    AlarmCommandRunner AlarmCommands;
    std::function<INotifier*()> NotifierSource;
    INotifier* Notifier = nullptr;
    QSet<QString> FiredRules;  // the keys of the rules that fired since the start
    // The chart windows open, by instrument.
    QHash<QString, QPointer<TChartForm>> Charts;
    // Where the charts and the sparklines read the price history; empty while there is none.
    ChartSources HistoryReads;
    void FillChartMenu();
    void ReloadCharts();
    // The instrument of the quote line under a point of imgPrice; empty for none.
    QString InstrumentAt(const QPoint& point) const;
    // Param/ShowSparkline: the closes of the last hours at the end of each quote line, by
    // instrument, as the last read of the history found them.
    bool ShowSparkline = keys::ShowSparkline.BooleanDefault();
    QHash<QString, QVector<HistoryBar>> Sparklines;
    quint64 sparklineReads_ = 0;
    void ReadSparklines();
    void DrawSparkline(QPainter& painter, const QRect& box, const QString& name,
                       const QColor& colour) const;
    // The price history, opened after the first showing; its days are read at start-up.
    std::unique_ptr<HistoryStore> History;
    std::unique_ptr<GatewayHistory> FromGateway;
    int HistoryDays = -1;

    void CreateComponents();
    void CreateMenu();
    void QuoteHTTPDone(const QString& contentType, QIODevice* stream);
    // A failed download; body is what the server answered with, if anything.
    void QuoteHTTPAnyError(const QByteArray& body = {});
    void BuiltinRefreshed();
    // The window's lines after a failure, the cause below them, and the same in the tooltip.
    void ShowFailure(const QStringList& reason);
    // The window's lines when every quote has stopped moving, though the sources answer.
    void ShowStoppedQuotes(const QString& staleText);
    void mnAlwaysOnTopClick();
    void mnOnlineUpdateClick();
    void UpdaterNoInfoFile();
    void mnWhatsNewClick();
    void mnHelpClick();
    void N3Click();
    void mnQuitClick();
    void TrayIconClick();
    void MemoPriceMouseDown();
    void HotKeyPressed(quint16 virtualKey, quint16 modifiers);
    void CheckPriceAlarm();
    // After a download: the rules of [Alarms] against the prices that came with it; what fires
    // is shown, sounded, notified once and handed to the alarm command.
    void CheckAlarmRules();
    void DeliverAlarms(const QList<AlarmFiring>& fired);
    // The desktop notification of what fired in one download, and the alarm command for each.
    void AnnounceAlarms(const QList<AlarmFiring>& fired);
    void NotifyAlarms(const QList<AlarmFiring>& fired);
    TAlarmForm* ShownAlarmForm();

    void BuildQuoteLines();
    void OpenHistory();
    // The hours before the start from the gateway of Param/RatesURL, when it is one.
    void FillHistoryFromGateway();
    // Hands the history the fresh, live values of this download (history.cpp).
    void RecordHistory(const QDateTime& now);
    // "休市" or the quote's age after the price; nothing for a live one, or for demo prices,
    // which follow no market's hours.
    QString QuoteAside(const QString& name, const QDateTime& now) const;
    void RenderLines();
    void RenderColouredLines();
    void AutoSizeWindow();
    void pbProgressPaint(QPainter& painter);

    void PlaceWindow();
    void ShowToFront();
    // Hides the window when it is shown in front (active, or covered by no other window), else
    // ShowToFront: the tray icon's click, its default item and the toggle command.
    void ToggleWindow();
    // The periodic pop-up: in front and opaque, but the keyboard stays where the user types.
    void PopToFront();
    // Ends the program as 退出 does: the window closes for good and the event loop ends; the
    // position is saved, the hot key released and the tray icon removed as the window goes.
    void Quit();
    void SetStaysOnTop(bool on);
    void SetAlphaBlendValue(int value);
    void RenderWith(bool coloured);
    void ShowCanvas();
    void SetTrayIcon(int index);
    void FormDestroy();
    void ShowInformation(const QString& text);
    // Makes a dialog of the ticker's its own: transient for it and on top while it is.
    void AdoptDialog(QWidget* dialog);
    void ApplyOpacity();
    // What the session allows the window, from its environment and the services handed in.
    DesktopSession CurrentSession() const;
    // The tray tip: news of the moment (empty for none) with what the session cannot do.
    void ShowTrayNews(const QString& news);
    // Why the selected instruments shown as N/A have no value, one clause per cause naming
    // its instruments: "瑞典克郎 N/A（欧洲央行：找不到主机 www.ecb.europa.eu）"; empty when
    // every one has a value or is still being read.
    QString NotAvailableNote() const;

    MainFormServices services_;
    QStringList arguments_;
    bool quitting_ = false;
    bool toldNoTray_ = false;  // the close button's message without a tray comes once a run
    QString trayNews_;
    QString refreshTip_;       // the tip while the prices are good and there is no news
    bool hotKeyBound_ = true;  // false once no key reaches the program from every window
    void ApplyPlacement();
    bool MovedSincePlaced() const;
    // The window's frame in screen coordinates, and the available area (the screen less its
    // panel) of the screen that holds most of a rectangle.
    QRect OuterRect() const;
    QRect WorkArea(const QRect& outer) const;
    // Brings the whole window into one screen's available area. Given the frame before a
    // resize, the window first keeps the corner nearest to the screen's corner, so that it
    // grows away from the screen's edges. Nothing where the desktop places the window itself.
    void KeepOnScreen(const QRect& before = QRect());
    void WatchScreen(QScreen* screen);
    bool placeByRule_ = false;  // no usable stored position: near the panel
    QPoint placedAt_;           // where the window's frame goes
    bool placementPending_ = false;
    bool userMoved_ = false;
    // The first download, once the window is on the screen.
    void FirstFetch();
    bool firstShowing_ = true;
    bool firstFetchDone_ = false;
    static constexpr int kFirstFetchLatestMs = 1000;
};

// The eight lines of "升级说明..." and the text of "牌价说明...".
QString WhatsNewText();
QString QuoteHelpText();

// TileBackground: whole tiles from the rectangle's top-left corner, cut at its right and bottom
// edges, never stretched.
void TileBackground(QImage& target, const QImage& tile, const QRect& rect);

// The padding after a line's "【label】" counts bytes of the Chinese code page, which the letters
// of a Latin label do not fill in a proportional face. Once some label of the lines holds no
// Chinese character, the text after every label stands in one column measured in the face's own
// widths: QuoteValueLeft gives its left edge, 0 while every label is Chinese and the padded lines
// are drawn as they are. QuoteLineParts splits a line into its label and what follows the padding
// (an empty label for a line without one); QuoteLineAdvance is the line's width so drawn.
struct QuoteLineParts {
    QString Label;
    QString Rest;
};
QuoteLineParts SplitQuoteLine(const QString& line);
int QuoteValueLeft(const QFontMetrics& metrics, const QStringList& lines);
int QuoteLineAdvance(const QFontMetrics& metrics, const QString& line, int valueLeft);

}  // namespace kestrel
