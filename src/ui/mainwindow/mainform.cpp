#include "ui/mainwindow/mainform.h"

#include <malloc.h>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "feeds/lastvalues.h"
#include "platform/fonts.h"
#include "platform/hotkey.h"
#include "platform/hotkeylock.h"
#include "platform/sessionnotes.h"
#include "platform/windowservices.h"
#include "quotes/markethours.h"
#include "quotes/messages.h"
#include "quotes/quotelines.h"
#include "settings/fonttext.h"
#include "settings/profile.h"
#include "settings/settingskeys.h"
#include "settings/settingsload.h"
#include "text/encodings.h"
#include "ui/alarm/alarmform.h"
#include "ui/errorreport.h"
#include "ui/mainwindow/aboutform.h"
#include "ui/mainwindow/session.h"
#include "ui/mainwindow/windowsizes.h"
#include "ui/quotefont.h"
#include "ui/settings/setupform.h"
#include "ui/tray/trayicon.h"
#include "version.h"

namespace kestrel {

namespace {

// A download's page, its text and the transfer's buffers are freed once its handler has
// returned; the memory they took goes back to the system rather than wait for the next download.
void ReturnFreedMemorySoon(QObject* context) {
    QTimer::singleShot(0, context, [] { malloc_trim(0); });
}

// Opacity of the window while the mouse is away from it and over it (Form/Alpha on).
constexpr int kAlphaOutside = 80;
constexpr int kAlphaInside = 255;

// The page the program's own upgrade description points to.
constexpr char kDownloadPageURL[] = "https://downloads.example.net/file/id_3041747378636146.htm";

// Breaks a line into pieces no wider than width pixels, so that a long cause stays readable in
// a window that a failure does not resize.
QStringList WrapToWidth(const QString& text, const QFontMetrics& metrics, int width) {
    return BreakMessage(
        text, [&](const QString& piece) { return metrics.horizontalAdvance(piece) <= width; });
}

// What the tray shows of a tip.
constexpr qsizetype kTrayTipLength = 63;

// The tray tip while the prices are good: when they came, and from where.
QString RefreshedTip(const QTime& time, const QStringList& sources) {
    QString tip = TMainForm::tr("Kestrel · %1 更新").arg(time.toString(QStringLiteral("hh:mm:ss")));
    if (!sources.isEmpty())
        tip += QStringLiteral(" · ") +
               sources.join(TMainForm::tr("、", "between the items of a list"));
    return tip;
}

QString CaptionClock(const QDateTime& now) {
    return now.toString(QStringLiteral("MM-dd hh:mm"));
}

}  // namespace

QString WhatsNewText() {
    return QStringList{
        TMainForm::tr("改进牌价读取的稳定性，网络较差时延长等待。"),
        TMainForm::tr("改进缺省字体，提高界面美观度。"),
        TMainForm::tr("修改缺省显示的币种对，增加常用货币对。"),
        TMainForm::tr("修改选项设置的界面，增加字体设置的预览。"),
        TMainForm::tr("改进状态栏图标，网络中断时图标灰显。"),
        TMainForm::tr("鼠标点击后即可随意拖动窗口。"),
        TMainForm::tr("监控警报价格到达后，自动消除报警的设置。"),
        TMainForm::tr("增加按F8弹出牌价的功能，热键可自定义。"),
    }
        .join(QStringLiteral("\r\n"));
}

QString QuoteHelpText() {
    return QStringList{
        TMainForm::tr("〖牌价说明〗"),
        QString(),
        TMainForm::tr(" 重要声明：所有牌价采自网上自由报价源，可能与银行成交价有偏差。"),
        TMainForm::tr(" 　　　　　报价仅供参考，若据此交易，责任自负。"),
        QString(),
        TMainForm::tr(" 【货币A货币B】表示每一单位货币A兑换多少单位货币B"),
        TMainForm::tr(" 【现货黄金/白银】的单位为 美元/盎司"),
        TMainForm::tr(" 【人民币黄金/白银】的单位为 元人民币/克"),
        TMainForm::tr(" 【香港黄金】的单位为 港币/钱"),
        TMainForm::tr(" 【外币人民币】表示每一单位外币兑换多少元人民币"),
        TMainForm::tr(" 【原油】等商品均为国际市场美元/桶计价"),
    }
        .join(u'\n');
}

TMainForm::TMainForm(const ProgramFiles& files, MainFormServices services,
                     const QStringList& arguments, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      Files(files),
      services_(std::move(services)),
      arguments_(arguments) {
    CreateComponents();
    SetErrorBoxOwner([this](QWidget* box) { AdoptDialog(box); });

    // FormCreate.
    setFont(WindowFont());
    if (services_.Atom)
        services_.Atom->Acquire();
    TicksPerSecond = static_cast<int>(std::lround(1000.0 / tmTimer->interval()));
    if (QFile::exists(Files.BmpPath) && BackgroundBitmap.load(Files.BmpPath)) {
        // A picture without height cannot be cut into rows: it counts as absent.
        HasBackground = BackgroundBitmap.width() > 0 && BackgroundBitmap.height() > 0;
    }
    BackgroundBitmap = BackgroundBitmap.convertToFormat(QImage::Format_RGB888);
    Tick = 0;
    PromptCounter = 0;
    MonitorPrevQuote = 0;
    ApplySettings();
    if (ShouldEndAutomaticStart(arguments_.value(1), NotRunWeekEnd, QDate::currentDate())) {
        // The rest of the creation still runs; the program ends as its event loop starts.
        QMetaObject::invokeMethod(this, &TMainForm::Quit, Qt::QueuedConnection);
    }
    TrayIcon->SetActive(true);
    UserAskedUpgrade = false;
    if (!services_.LayerSurface)
        Updater.DialogOwner = this;
    Updater.Loaded(arguments_);
    PlaceWindow();
    MemoPrice.Lines = StartupLines();
    RenderLines();
    ShowCanvas();
}

TMainForm::~TMainForm() {
    // A window on its way out owns no box.
    SetErrorBoxOwner({});
    FormDestroy();
}

void TMainForm::CreateComponents() {
    setWindowTitle(QStringLiteral("Kestrel"));
    // Only the hot key and the tray icon, which the user just used, take the keyboard: a ticker
    // that comes up by itself must not catch what is being typed into another program.
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Every request to end the application (a signal, the end of the session) ends it as 退出
    // does.
    qApp->installEventFilter(this);
    setFixedSize(211, 266);  // the client area until the first good page sizes it

    tmTimer = new QTimer(this);
    tmTimer->setInterval(100);
    connect(tmTimer, &QTimer::timeout, this, &TMainForm::tmTimerTimer);
    tmTimerChecker = new QTimer(this);
    tmTimerChecker->setInterval(10000);
    connect(tmTimerChecker, &QTimer::timeout, this, &TMainForm::tmTimerCheckerTimer);
    tmTimerChecker->start();

    QuoteHTTP.OnDone = [this](TCustomHTTPClient*, const QString& contentType, qint64,
                              QIODevice* stream) { QuoteHTTPDone(contentType, stream); };
    QuoteHTTP.OnHTTPError = [this](TCustomHTTPClient*, int, QIODevice* stream) {
        QuoteHTTPAnyError(stream ? stream->readAll() : QByteArray());
    };
    QuoteHTTP.OnHostUnreachable = [this](TCustomHTTPClient*) { QuoteHTTPAnyError(); };
    QuoteHTTP.OnConnLost = [this](TCustomHTTPClient*, const QString&, qint64, qint64, QIODevice*) {
        QuoteHTTPAnyError();
    };
    Builtin.OnRefreshed = [this] { BuiltinRefreshed(); };
    Builtin.KeepLastValues(feeds::LastValuesBeside(Files.IniPath));

    Updater.VersionControl = TUpdaterVersionControl::byNumber;
    Updater.VersionNumber = QStringLiteral(KESTREL_VERSION);
    Updater.VersionDate = QStringLiteral("04/22/2012");
    Updater.InfoFile.Files = {QString::fromLatin1(kDownloadPageURL)};
    Updater.InfoFile.UpgradeMethod = TUpgradeMethod::umRedirectToURL;
    Updater.InfoFile.UpgradeMsg = WhatsNewText();
    Updater.Wizard.SetLanguage(wlChineseSimplified);
    // The wizard draws its own side picture when it opens: rendering it here cost the start
    // a fifth of its time for a window seldom shown.
    Updater.OnNoUpdateAvailable = [this](TUpdater*) { UpdaterNoInfoFile(); };
    Updater.OnNoInfoFile = [this](TUpdater*) { UpdaterNoInfoFile(); };
    Updater.OnHostUnreachable = [this](TUpdater*, const QString&, const QString&) {
        UpdaterNoInfoFile();
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    pnlContent = new QFrame(this);
    pnlContent->setFrameShape(QFrame::NoFrame);
    pnlContent->setAutoFillBackground(true);
    auto* inner = new QVBoxLayout(pnlContent);
    inner->setContentsMargins(kPanelBorder, kPanelBorder, kPanelBorder, kPanelBorder);
    imgPrice = new QLabel(pnlContent);
    imgPrice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgPrice->setMinimumSize(1, 1);
    imgPrice->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    inner->addWidget(imgPrice);
    layout->addWidget(pnlContent, 1);
    pbProgress = new TProgressBar(this);
    pbProgress->setFixedHeight(kBarHeight);
    pbProgress->OnPaint = [this](QPainter& painter) { pbProgressPaint(painter); };
    layout->addWidget(pbProgress);

    // A press anywhere on the content drags the window.
    for (QWidget* w : {static_cast<QWidget*>(pnlContent), static_cast<QWidget*>(imgPrice)}) {
        w->installEventFilter(this);
    }

    CreateMenu();
    TrayIcon = new TTrayIcon(this, std::move(services_.TrayShell));
    TrayIcon->SetInterval(700);
    TrayIcon->Icons()->Add(IconFromResource(QStringLiteral(":/icons/tray-normal.svg")));
    TrayIcon->Icons()->Add(IconFromResource(QStringLiteral(":/icons/tray-grey.svg")));
    TrayIcon->SetIcon(*TrayIcon->Icons()->Get(0));
    TrayIcon->SetPopupMenu(TrayMenu);
    TrayIcon->OnClick = [this](TTrayIcon*, TMouseButton button, auto&&...) {
        // A right click comes here only where no menu can pop up at the icon (Wayland): the
        // window comes up instead, with the same menu on its own right button.
        if (button == TMouseButton::Right)
            ShowToFront();
        else
            TrayIconClick();
    };

    if (services_.HotKey) {
        services_.HotKey->OnHotKey = [this](quint16 vk, quint16 mods) { HotKeyPressed(vk, mods); };
        // A key that silently does nothing would leave the user pressing it; the tip says why.
        services_.HotKey->OnRefused = [this](quint16, quint16) {
            ShowTrayNews(tr("热键 %1 已被其他程序占用").arg(ShortCutToText(HotKeyShortCut)));
        };
        services_.HotKey->OnSettled = [this](bool bound) {
            hotKeyBound_ = bound && services_.HotKey->KeyIsDesktopWide();
            ShowTrayNews(trayNews_);
        };
    }
    if (services_.Window)
        services_.Window->MakeToolWindow(this);
#if QT_CONFIG(sessionmanager)
    // The session may end without letting the program run to its end.
    // A box then would hold the logout.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] {
        ReportToLogFromNow();
        SaveWindowPosition();
    });
#endif
}

void TMainForm::CreateMenu() {
    PopupMenu1 = new QMenu(this);
    mnSetupParameter =
        PopupMenu1->addAction(tr("设置..."), this, &TMainForm::mnSetupParameterClick);
    mnAutoAdjustSize =
        PopupMenu1->addAction(tr("自动调整窗体大小"), this, &TMainForm::AutoSizeWindow);
    mnAutoAdjustSize->setVisible(false);
    mnReadNow = PopupMenu1->addAction(tr("重新读取牌价"), this, &TMainForm::mnReadNowClick);
    mnChart = PopupMenu1->addMenu(tr("走势图..."));
    connect(mnChart, &QMenu::aboutToShow, this, &TMainForm::FillChartMenu);
    mnAlwaysOnTop = PopupMenu1->addAction(tr("总是在最前面"));
    mnAlwaysOnTop->setCheckable(true);
    connect(mnAlwaysOnTop, &QAction::triggered, this, &TMainForm::mnAlwaysOnTopClick);
    PopupMenu1->addSeparator();
    mnHelpGroup = PopupMenu1->addMenu(tr("帮助"));
    mnOnlineUpdate =
        mnHelpGroup->addAction(tr("在线升级..."), this, &TMainForm::mnOnlineUpdateClick);
    mnWhatsNew = mnHelpGroup->addAction(tr("升级说明..."), this, &TMainForm::mnWhatsNewClick);
    mnHelp = mnHelpGroup->addAction(tr("牌价说明..."), this, &TMainForm::mnHelpClick);
    N3 = mnHelpGroup->addAction(tr("关于..."), this, &TMainForm::N3Click);
    PopupMenu1->addSeparator();
    mnQuit = PopupMenu1->addAction(tr("退出"), this, &TMainForm::mnQuitClick);

    TrayMenu = new QMenu(this);
    mnShowHide = TrayMenu->addAction(tr("显示/隐藏牌价窗口"), this, &TMainForm::ToggleWindow);
    TrayMenu->setDefaultAction(mnShowHide);
    mnStopAlarm = TrayMenu->addAction(tr("停止警报"), this, [this] {
        if (AlarmFormSource)
            AlarmFormSource()->Silence();
    });
    mnStopAlarm->setVisible(false);
    TrayMenu->addSeparator();
    TrayMenu->addActions(PopupMenu1->actions());
}

void TMainForm::ApplySettings() {
    const Settings s =
        LoadSettings(Files.IniPath, Files.CcyPath, WindowFontDesc(), SelectedInstruments,
                     QuoteHTTP.Proxy.ProxyServer, QuoteHTTP.Proxy.ProxyPort);
    SelectedInstruments = s.Selection;
    Quotes.Reset(SelectedInstruments.size());
    TicksPerInterval = s.Interval * TicksPerSecond;
    TicksThisRound = TicksPerInterval;
    LineSpacing = s.LineSpacing;
    if (s.ThreeD) {
        // The lowered bevel lies inside the panel's border, around the quotes.
        imgPrice->setFrameShape(QFrame::Panel);
        imgPrice->setFrameShadow(QFrame::Sunken);
    }
    ColorMode = s.ColorMode;
    DisplayTime = s.DisplayTime;
    QuoteLook = {s.ShowChange, s.ShowArrows, AliasesOf(s)};
    ShowSparkline = s.ShowSparkline;
    if (!ShowSparkline)
        Sparklines.clear();
    pbProgress->setVisible(s.DisplayProgressBar);
    MemoPrice.Desc = s.Font;
    MemoPrice.Font = QFontOf(s.Font);
    MemoPrice.FontColor = ColourOf(s.Font.Color);
    setFont(MemoPrice.Font);
    Alpha = s.Alpha;
    ApplyOpacity();
    NotRunWeekEnd = s.NotRunWeekEnd;
    HotKeyShortCut = s.HotKey;
    HotKeyReg = s.HotKeyReg;
    if (services_.HotKey) {
        services_.HotKey->Unregister();
        hotKeyBound_ = services_.HotKey->Register(HotKeyReg.Modifiers, HotKeyReg.VirtualKey) &&
                       services_.HotKey->KeyIsDesktopWide();
        ShowTrayNews(trayNews_);
    }
    AutoPrompt = s.AutoPrompt;
    PromptInterval = s.PromptInterval;
    if (HistoryDays < 0)
        HistoryDays = s.HistoryDays;
    Alarm = AlarmSettings{s.UseMonitor, s.MonitorCcy, s.MonitorPrice, s.AlarmSound};
    MonitorPrevQuote = 0;
    MonitorRaised = false;
    QList<AlarmRule> rules;
    for (const auto& [key, line] : s.Alarms)
        rules.append(ParseAlarmLine(key, line));
    Rules.SetRules(rules);
    AlarmNotify = s.AlarmNotify;
    AlarmCommand = s.AlarmCommand;
    ConfigureQuoteClient(QuoteHTTP, s);
    UseBuiltin = s.RatesURL.trimmed().isEmpty();
    Builtin.SetSources(feeds::BuiltinSources(s));
    Builtin.Configure(QuoteHTTP.Proxy, QuoteHTTP.MaxTransferTime);
    Updater.Proxy = QuoteHTTP.Proxy;
    Updater.InfoFileURL = s.UpdateURL;
    Updater.UpgradeKeys = s.UpgradeKeys;
    PaintingBar = false;
}

void TMainForm::StartFetch() {
    if (UseBuiltin) {
        // A source still answering the last refresh goes on; the others are asked again.
        QuoteHTTP.Abort();
        Builtin.Refresh();
        tmTimer->stop();
        return;
    }
    Builtin.Abort();
    if (QuoteHTTP.Busy()) {
        QuoteHTTP.Abort();
        QCoreApplication::processEvents();
    }
    QuoteHTTP.Read();
    tmTimer->stop();
}

int TMainForm::RoundTicks() const {
    const QDateTime now = MarketNow();
    const SelectionHours hours = HoursOfSelection(SelectedInstruments, now);
    if (!hours.AllClosed || Page.Demo())
        return TicksPerInterval;
    const qint64 wait = std::clamp<qint64>(now.secsTo(NextDownloadTime(hours, now)),
                                           TicksPerInterval / TicksPerSecond, kClosedPollSeconds);
    return static_cast<int>(wait) * TicksPerSecond;
}

void TMainForm::tmTimerTimer() {
    if (Tick >= 0 && Tick % 10 == 0) {
        setWindowTitle(CaptionClock(QDateTime::currentDateTime()));
        if (AutoPrompt) {
            PromptCounter += 1;
            if (PromptCounter > PromptInterval * 60) {
                PromptCounter = -1;
                PopToFront();
            }
        }
    }
    // A clock that jumped (a suspend and resume) ends the wait: the prices are old now.
    const qint64 wall = QDateTime::currentMSecsSinceEpoch();
    if (lastTickWallMs_ > 0 && wall - lastTickWallMs_ > kClockJumpMs)
        Tick = TicksThisRound;
    lastTickWallMs_ = wall;
    if (Tick == 0)
        TicksThisRound = RoundTicks();
    Tick += 1;
    pbProgress->update();
    if (Tick >= TicksThisRound) {
        PaintingBar = false;
        Tick = -1;
        StartFetch();
    }
}

void TMainForm::tmTimerCheckerTimer() {
    if (!QuoteHTTP.Busy() && !Builtin.Busy() && !tmTimer->isActive())
        tmTimer->start();
}

void TMainForm::QuoteHTTPDone(const QString& contentType, QIODevice* stream) {
    QByteArray body;
    if (stream) {
        stream->seek(0);
        body = stream->readAll();
    }
    Page.SetBody(body, contentType);
    ShownTime = QTime::currentTime();
    BuildQuoteLines();
    tmTimer->start();
    CheckPriceAlarm();
    CheckAlarmRules();
    ReturnFreedMemorySoon(this);
}

void TMainForm::QuoteHTTPAnyError(const QByteArray& body) {
    // A gateway whose sources answer with quotes that stopped says so; the network is fine.
    if (const QString reason = QString::fromUtf8(body).trimmed();
        QuoteHTTP.StatusCode() == 503 && IsStaleQuotesText(reason)) {
        ShowStoppedQuotes(reason);
        return;
    }
    ShowFailure(
        FailureReason(QuoteHTTP.URL, QuoteHTTP.StatusCode(), QuoteHTTP.LastFailure(), body));
}

// Runs after each source's answer: the countdown goes on after the first of a refresh, the
// others only bring their values in.
void TMainForm::BuiltinRefreshed() {
    if (!tmTimer->isActive())
        tmTimer->start();
    const std::optional<QString> page = Builtin.Page();
    if (!page) {
        // Before the first values the start-up lines stay while a source is still being read.
        if (Builtin.Busy() && Page.PageLines().isEmpty())
            return;
        if (Builtin.StoppedSinceMs()) {
            ShowStoppedQuotes(Builtin.FailureSummary());
            return;
        }
        ShowFailure({tr("原因：") + Builtin.FailureSummary()});
        return;
    }
    Page.SetBody(page->toUtf8(), QStringLiteral("text/html; charset=utf-8"));
    // Values kept through a source's outage say when they came, not what the clock says.
    ShownTime = QDateTime::fromMSecsSinceEpoch(Builtin.ReceivedMs(SelectedInstruments)).time();
    BuildQuoteLines();
    // A price is checked once, when it comes, not again with each other source's answer.
    if (Builtin.Renewed(Alarm.MonitorCcy) || Page.QuoteFor(Alarm.MonitorCcy) != MonitorQuote)
        CheckPriceAlarm();
    CheckAlarmRules();
    ReturnFreedMemorySoon(this);
}

void TMainForm::ShowStoppedQuotes(const QString& staleText) {
    MemoPrice.Lines = StoppedQuoteLines(DisplayTime, QTime::currentTime(), staleText);
    RenderLines();
    ShowCanvas();
    SetTrayIcon(1);
    ShowTrayNews(staleText);
    tmTimer->start();
}

void TMainForm::ShowFailure(const QStringList& reason) {
    QStringList wrapped;
    const QFontMetrics metrics(MemoPrice.Font);
    for (const QString& line : reason)
        wrapped << WrapToWidth(line, metrics, std::max(imgPrice->width(), 100));
    MemoPrice.Lines = TransferErrorLines(DisplayTime, QTime::currentTime(), wrapped);
    RenderLines();
    ShowCanvas();
    SetTrayIcon(1);
    // The tooltip is short: the cause, without the remedy that may follow it.
    ShowTrayNews(reason.value(0));
    tmTimer->start();
}

void TMainForm::BuildQuoteLines() {
    PageProgress progress;
    if (UseBuiltin) {
        progress.Missing = [this, withheld = Builtin.Withheld()](const QString& name) {
            if (Builtin.Reading(name))
                return tr("正在读取");
            const auto it = withheld.find(name);
            return it != withheld.end() ? it->second : QString();
        };
        progress.Renewed = [this](const QString& name) { return Builtin.Renewed(name); };
    }
    const QDateTime now = MarketNow();
    progress.Aside = [this, &now](const QString& name) { return QuoteAside(name, now); };
    const QuoteLines result = kestrel::BuildQuoteLines(Page, SelectedInstruments, Quotes,
                                                       DisplayTime, ShownTime, progress, QuoteLook);
    MemoPrice.Lines = result.Lines;
    QuietLines = result.Quiet;
    // With every market closed the time line says when the first opens.
    if (const SelectionHours hours = HoursOfSelection(SelectedInstruments, now);
        result.Good && DisplayTime && hours.AllClosed && !Page.Demo() && !MemoPrice.Lines.isEmpty())
        MemoPrice.Lines[0] = ClosedTimeLine(hours.FirstOpening, now);
    if (result.Good) {
        AutoSizeWindow();
        RenderColouredLines();
        ShowCanvas();
        SetTrayIcon(0);
        QStringList sources;
        if (UseBuiltin) {
            for (const feeds::Served& served : Builtin.Quotes()) {
                const QString title = feeds::SourceTitle(served.Source);
                if (SelectedInstruments.contains(served.Name) && !sources.contains(title))
                    sources << title;
            }
        } else {
            sources << QUrl(QuoteHTTP.URL).host();
        }
        // What is missing, and why, comes first: the tip may be cut.
        QString tip = RefreshedTip(ShownTime, sources);
        if (const QString missing = NotAvailableNote(); !missing.isEmpty())
            tip = missing + tr("；", "between the clauses of a message") + tip;
        refreshTip_ = Page.Demo() ? QString() : CutMessage(tip, kTrayTipLength);
        ShowTrayNews(Page.Demo() ? tr("演示牌价") : QString());
        RecordHistory(now);
        // What this download recorded reaches the file with the store's next batch; the reads
        // see it by the next download at the latest.
        ReadSparklines();
        ReloadCharts();
    } else {
        RenderLines();
        ShowCanvas();
        SetTrayIcon(1);
        refreshTip_.clear();
        ShowTrayNews(trayNews_);
    }
}

QString TMainForm::NotAvailableNote() const {
    const std::map<QString, QString> withheld =
        UseBuiltin ? Builtin.Withheld() : std::map<QString, QString>();
    QList<std::pair<QString, QStringList>> causes;  // in the order of the lines
    for (qsizetype i = 0; i < SelectedInstruments.size(); ++i) {
        const double value = double(Quotes.CurQuotes.value(i));
        const QString& name = SelectedInstruments[i];
        if ((value != 0 && std::isfinite(value)) || (UseBuiltin && Builtin.Reading(name)))
            continue;
        const QString leg = MissingLeg(Page, name);
        QString cause;
        if (const auto it = withheld.find(leg); it != withheld.end())
            cause = it->second;
        else if (UseBuiltin)
            cause = Builtin.FailingFor(leg).join(tr("；", "between the clauses of a message"));
        if (cause.isEmpty())
            cause = tr("数据源未提供该品种");
        const auto same = std::find_if(causes.begin(), causes.end(),
                                       [&cause](const auto& c) { return c.first == cause; });
        if (same == causes.end())
            causes.append({cause, {ShownInstrumentName(name)}});
        else
            same->second.append(ShownInstrumentName(name));
    }
    QStringList clauses;
    for (const auto& [cause, names] : causes)
        clauses
            << tr("%1 N/A（%2）").arg(names.join(tr("、", "between the items of a list")), cause);
    return clauses.join(tr("；", "between the clauses of a message"));
}

QString TMainForm::QuoteAside(const QString& name, const QDateTime& now) const {
    if (Page.Demo())
        return {};
    if (MarketStatusOf(name, now).State != MarketState::Open)
        return tr("休市");
    const QDateTime quoted = Page.QuoteTimeFor(name);
    if (quoted.isValid() && quoted.secsTo(now) > kQuietQuoteSeconds)
        return QuoteAgeText(quoted, now);
    return {};
}

void TMainForm::SetTrayIcon(int index) {
    if (const TIcon* icon = TrayIcon->Icons()->Get(index))
        TrayIcon->SetIcon(*icon);
}

void TMainForm::ShowToFront() {
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    if (services_.Window)
        services_.Window->ActivateForeground(this);
    SetAlphaBlendValue(kAlphaInside);
}

void TMainForm::PopToFront() {
    if (services_.Window)
        services_.Window->BringToFront(this);
    else
        show();
    SetAlphaBlendValue(kAlphaInside);
}

void TMainForm::SetAlphaBlendValue(int value) {
    AlphaBlendValue = value;
    ApplyOpacity();
}

void TMainForm::ApplyOpacity() {
    // The value only shows while alpha blending is on; without it the window is opaque.
    if (services_.Window)
        services_.Window->SetOpacity(this, Alpha ? AlphaBlendValue : kAlphaInside);
}

DesktopSession TMainForm::CurrentSession() const {
    return DescribeSession(qEnvironmentVariable("WAYLAND_DISPLAY"), QGuiApplication::platformName(),
                           services_.LayerSurface);
}

void TMainForm::ShowTrayNews(const QString& news) {
    trayNews_ = news;
    const DesktopSession session = CurrentSession();
    // The time of the last good prices fills the tip only when there is nothing else to say.
    const QString tip =
        TrayTip(CutMessage(news, kTrayTipLength), SessionNote(session, hotKeyBound_));
    // What keeps the price history from recording follows, where the tip has room for it.
    TrayIcon->SetHint(
        TrayTip(tip.isEmpty() ? refreshTip_ : tip, History ? History->Note() : QString()));
}

void TMainForm::SetStaysOnTop(bool on) {
    if (services_.Window)
        services_.Window->SetStaysOnTop(this, on);
}

void TMainForm::HotKeyPressed(quint16 virtualKey, quint16 modifiers) {
    if (virtualKey != HotKeyReg.VirtualKey || modifiers != HotKeyReg.Modifiers)
        return;
    // A Wayland window or layer surface is never given the keyboard by a key press elsewhere, so
    // "in front" cannot mean "active" there: the key toggles as kestrel --toggle does.
    const DesktopSession session = CurrentSession();
    if (session.QtOnWayland || session.LayerSurface) {
        ToggleWindow();
        return;
    }
    if (isVisible() && services_.Window && services_.Window->IsForeground(this)) {
        hide();
    } else {
        ShowToFront();
    }
}

void TMainForm::ToggleWindow() {
    const bool inFront = isVisible() && !isMinimized() &&
                         (!services_.Window || services_.Window->IsForeground(this) ||
                          !services_.Window->IsCovered(this));
    if (inFront)
        hide();
    else
        ShowToFront();
}

void TMainForm::RunCommand(InstanceCommand command) {
    switch (command) {
        case InstanceCommand::Toggle:
            ToggleWindow();
            break;
        case InstanceCommand::Show:
            ShowToFront();
            break;
        case InstanceCommand::Hide:
            hide();
            break;
        case InstanceCommand::Refresh:
            mnReadNowClick();
            break;
        case InstanceCommand::Settings:
            // A dialog already open is brought forward rather than opened a second time.
            if (QWidget* open = QApplication::activeModalWidget()) {
                open->raise();
                open->activateWindow();
            } else {
                mnSetupParameterClick();
            }
            break;
        case InstanceCommand::Quit:
            Quit();
            break;
    }
}

void TMainForm::FormActivate() {
    // The first showing and the first activation come one after the other: a download that
    // one of them started is not restarted by the other.
    if (Page.PageLines().isEmpty() && !QuoteHTTP.Busy() && !Builtin.Busy())
        StartFetch();
}

void TMainForm::mnReadNowClick() {
    QuoteHTTP.Abort();
    Builtin.Abort();
    MemoPrice.Lines = ReadingAgainLines();
    RenderLines();
    ShowCanvas();
    StartFetch();
}

void TMainForm::mnSetupParameterClick() {
    TSetupForm form(
        Files, MemoPrice.Desc, [this](const QString& name) { return Page.QuoteFor(name); },
        services_.Shortcuts);
    AdoptDialog(&form);
    // The box has to be able to take the key in use: while it has the focus the grab is given
    // back, so that the press reaches it; OK registers the key chosen in any case. A desktop
    // that answers later is not asked again and again: its key goes to the desktop anyway.
    if (services_.HotKey && !services_.HotKey->AnswersLater()) {
        form.hkHotKey->OnCapture = [this](bool capturing) {
            if (capturing)
                services_.HotKey->Unregister();
            else
                hotKeyBound_ =
                    services_.HotKey->Register(HotKeyReg.Modifiers, HotKeyReg.VirtualKey) &&
                    services_.HotKey->KeyIsDesktopWide();
        };
    }
    if (form.exec() != QDialog::Accepted)
        return;
    try {
        form.WriteSettings();
    } catch (const WriteError& e) {
        // What was written stays; the ticker goes on with the settings it has.
        ReportError(QString::fromUtf8(e.what()));
        return;
    }
    // ApplySettings also registers a changed hot key in place of the old one. The countdown
    // goes on; the old picture stays until the download reports.
    ApplySettings();
    MemoPrice.Lines.clear();
    StartFetch();
}

void TMainForm::mnAlwaysOnTopClick() {
    SetStaysOnTop(mnAlwaysOnTop->isChecked());
    SaveWindowPosition();
}

void TMainForm::AdoptDialog(QWidget* dialog) {
    // Transient for the ticker, the window manager keeps the dialog above it; while the ticker
    // stays on top of other windows, the dialog has to as well. A layer surface is no window
    // that a dialog could belong to.
    Qt::WindowFlags flags = dialog->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, mnAlwaysOnTop->isChecked());
    dialog->setParent(services_.LayerSurface ? nullptr : this, flags);
}

void TMainForm::ShowInformation(const QString& text) {
    QMessageBox box(QMessageBox::Information, tr("信息"), text);
    AdoptDialog(&box);
    box.addButton(tr("确定"), QMessageBox::AcceptRole);
    box.exec();
}

void TMainForm::mnOnlineUpdateClick() {
    UserAskedUpgrade = true;
    Updater.CheckUpgrade();
}

void TMainForm::UpdaterNoInfoFile() {
    if (!UserAskedUpgrade)
        return;
    // A check that could not ask the server, or got nothing it could trust, says so: "up to
    // date" would be a guess.
    const QString failure = Updater.CheckFailure();
    if (failure.isEmpty()) {
        ShowInformation(tr("目前已经最新版本，不需要升级。"));
        return;
    }
    QMessageBox box(QMessageBox::Warning, tr("在线升级"), failure);
    AdoptDialog(&box);
    box.addButton(tr("确定"), QMessageBox::AcceptRole);
    box.exec();
}

void TMainForm::mnWhatsNewClick() {
    ShowInformation(Updater.InfoFile.UpgradeMsg);
}

void TMainForm::mnHelpClick() {
    ShowInformation(QuoteHelpText());
}

void TMainForm::N3Click() {
    TAboutForm about([this](const QString& url) {
        if (services_.Window)
            services_.Window->OpenURL(url);
    });
    AdoptDialog(&about);
    about.exec();
}

void TMainForm::mnQuitClick() {
    Quit();
}

void TMainForm::Quit() {
    // From here on nothing holds the end: a failure goes to the log instead of a box, and what
    // still waits (a stopped bus, a hung compositor) is cut short.
    ReportToLogFromNow();
    ArmExitWatchdog();
    quitting_ = true;
    // The charts go first, each keeping its place.
    for (TChartForm* chart : std::as_const(Charts)) {
        if (chart)
            chart->close();
    }
    close();
    // Not quit(): that asks every window to close, and one that refuses (an embedded tray icon
    // at the wrong moment) would keep the program running without its window.
    QCoreApplication::exit(0);
}

void TMainForm::TrayIconClick() {
    ToggleWindow();
}

void TMainForm::MemoPriceMouseDown() {
    userMoved_ = true;
    if (services_.Window)
        services_.Window->StartMove(this);
}

void TMainForm::FormDestroy() {
    SaveWindowPosition();
    if (services_.HotKey)
        services_.HotKey->Unregister();
    if (services_.Atom)
        services_.Atom->Release();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (quitting_) {
        event->accept();
        return;
    }
    // The close button only hides the window; the program goes on in the tray.
    SaveWindowPosition();
    event->ignore();
    if (TrayIcon->Added()) {
        hide();
        return;
    }
    // Without a tray nothing on the screen would lead back to a hidden window, and a tool
    // window has no taskbar button to minimise to: it stays, and the user learns the ways back.
    if (toldNoTray_)
        return;
    toldNoTray_ = true;
    auto* box =
        new QMessageBox(QMessageBox::Information, tr("信息"),
                        tr("未找到系统托盘，关闭按钮不会隐藏窗口；请用热键或 kestrel --toggle"),
                        QMessageBox::NoButton, this);
    AdoptDialog(box);
    box->addButton(tr("确定"), QMessageBox::AcceptRole);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);  // a note, not a question: the ticker goes on meanwhile
    box->show();
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A window manager may never activate a new tool window: the first showing starts the first
    // download as well, once the window is on the screen. Loading the network code meanwhile
    // slows the showing down. A window that is not put on the screen itself (a layer surface
    // shows its picture) starts at once; one the desktop never exposes, after a moment.
    if (std::exchange(firstShowing_, false)) {
        QWindow* handle = windowHandle();
        if (!handle || testAttribute(Qt::WA_DontShowOnScreen) || handle->isExposed()) {
            FirstFetch();
            return;
        }
        handle->installEventFilter(this);
        QTimer::singleShot(kFirstFetchLatestMs, this, &TMainForm::FirstFetch);
        return;
    }
    FormActivate();
}

void TMainForm::FirstFetch() {
    if (std::exchange(firstFetchDone_, true))
        return;
    if (QWindow* handle = windowHandle())
        handle->removeEventFilter(this);
    FormActivate();
    // The history's file is opened by a thread of its own, once the window is up.
    OpenHistory();
    FillHistoryFromGateway();
}

void TMainForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TMainForm::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (AlphaBlendValue != kAlphaInside)
        SetAlphaBlendValue(kAlphaInside);
}

void TMainForm::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (AlphaBlendValue != kAlphaOutside)
        SetAlphaBlendValue(kAlphaOutside);
}

void TMainForm::contextMenuEvent(QContextMenuEvent* event) {
    PopupMenu1->popup(event->globalPos());
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Quit && watched == qApp) {
        Quit();
        return true;
    }
    // The window is drawn as it is exposed; the download starts after that.
    if (event->type() == QEvent::Expose && watched == windowHandle() &&
        windowHandle()->isExposed()) {
        QTimer::singleShot(0, this, &TMainForm::FirstFetch);
    }
    if (watched != pnlContent && watched != imgPrice)
        return QWidget::eventFilter(watched, event);
    // A double click on a quote line opens its chart.
    if (event->type() == QEvent::MouseButtonDblClick && watched == imgPrice &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint() -
                          imgPrice->contentsRect().topLeft();
        if (const QString name = InstrumentAt(at); !name.isEmpty()) {
            OpenChart(name);
            return true;
        }
    }
    // The right button is left to the context menu.
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() != Qt::RightButton) {
        MemoPriceMouseDown();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kestrel
