// The dialog's six pages and their controls, laid out; what the controls hold is read and
// written in setupform.cpp.
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/shortcuts.h"
#include "quotes/catalogue.h"
#include "settings/settingskeys.h"
#include "settings/settingsload.h"
#include "ui/settings/setupform.h"
#include "ui/widgets/spinedit.h"

namespace kestrel {

namespace {

// The font sample: it keeps the size the page gave it whatever the font, and a line too long
// for it ends in an ellipsis, so that a large font cannot push the buttons off the screen.
class TFontDemo : public QLabel {
public:
    using QLabel::QLabel;

protected:
    QSize sizeHint() const override { return {0, 56}; }
    QSize minimumSizeHint() const override { return sizeHint(); }
    void paintEvent(QPaintEvent* event) override {
        QFrame::paintEvent(event);
        QPainter painter(this);
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect area = contentsRect().adjusted(4, 0, -4, 0);
        painter.drawText(area, Qt::AlignCenter,
                         QFontMetrics(font()).elidedText(text(), Qt::ElideRight, area.width()));
    }
};

// A row of an instrument list as shown: the display name, and in the selection list (`form`
// given) the short name after it when there is one. The row's text stays the name.
class TNameDelegate : public QStyledItemDelegate {
public:
    TNameDelegate(const TSetupForm* form, QObject* parent)
        : QStyledItemDelegate(parent), form_(form) {}

    QString displayText(const QVariant& value, const QLocale& locale) const override {
        const QString name = QStyledItemDelegate::displayText(value, locale);
        const QString known = CatalogueName(name);
        const QString shown = ShownInstrumentName(known.isEmpty() ? name : known);
        const QString alias = form_ ? form_->AliasOf(name) : QString();
        return alias.isEmpty() ? shown : shown + u'（' + alias + u'）';
    }

private:
    const TSetupForm* form_;
};

QGroupBox* Group(const QString& title, QLayout* layout) {
    auto* group = new QGroupBox(title);
    group->setLayout(layout);
    return group;
}

TSpinEdit* SpinBox(TValueType type, double minValue, double maxValue, double increment) {
    auto* box = new TSpinEdit;
    box->SetValueType(type);
    box->SetMinValue(minValue);
    box->SetMaxValue(maxValue);
    box->SetIncrement(increment);
    box->setFixedWidth(minValue == maxValue ? 120 : 80);
    return box;
}

}  // namespace

void TSetupForm::CreateControls() {
    setWindowTitle(tr("Kestrel-参数设置"));
    PageControl = new QTabWidget;
    PageControl->addTab(CreateSelectionPage(), tr("显示币种"));
    PageControl->addTab(CreateGeneralPage(), tr("常规选项"));
    PageControl->addTab(CreateFontPage(), tr("字体显示"));
    PageControl->addTab(CreateShortcutPage(), tr("快捷方式"));
    PageControl->addTab(CreatePromptPage(), tr("提示警报"));
    PageControl->addTab(CreateProxyPage(), tr("网络设置"));
    PageControl->setCurrentIndex(0);

    BitBtn1 = new QPushButton(tr("确定"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(tr("取消"));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl);
    layout->addLayout(buttons);
    // A dialog of fixed size, as its pages were laid out.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* TSetupForm::CreateSelectionPage() {
    lbAll = new QListWidget;
    lbPriceList = new QListWidget;
    for (QListWidget* list : {lbAll, lbPriceList}) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setFixedSize(160, 230);
    }
    // Wide enough for the longest name with the longest short name after it.
    int widest = 0;
    for (const QString& name : InstrumentCatalogue()) {
        widest = std::max(widest, fontMetrics().horizontalAdvance(
                                      name + u'（' + QString(kMaxAliasLength, u'一') + u'）'));
    }
    lbPriceList->setFixedWidth(
        std::max(160, widest + 2 * lbPriceList->frameWidth() +
                          lbPriceList->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8));
    btSelect = new QPushButton(tr(">> 选择"));
    btDelete = new QPushButton(tr("<< 取消选择"));
    sbMoveUp = new QToolButton;
    sbMoveUp->setArrowType(Qt::UpArrow);
    sbMoveUp->setToolTip(tr("向上移"));
    sbMoveDown = new QToolButton;
    sbMoveDown->setArrowType(Qt::DownArrow);
    sbMoveDown->setToolTip(tr("向下移"));
    lbAll->setItemDelegate(new TNameDelegate(nullptr, lbAll));
    lbPriceList->setItemDelegate(new TNameDelegate(this, lbPriceList));
    btAlias = new QPushButton(tr("简称(&N)..."));
    btAlias->setToolTip(tr("为选中的牌价设一个显示用的简称"));
    btAlias->setEnabled(false);

    auto* allLabel = new QLabel(tr("所有货币或商品(&A)"));
    allLabel->setBuddy(lbAll);
    auto* chosenLabel = new QLabel(tr("已选中的货币或商品(&C)"));
    chosenLabel->setBuddy(lbPriceList);

    auto* middle = new QVBoxLayout;
    middle->addStretch(1);
    middle->addWidget(btSelect);
    middle->addWidget(btDelete);
    middle->addStretch(1);
    auto* arrows = new QVBoxLayout;
    arrows->addStretch(1);
    arrows->addWidget(sbMoveUp);
    arrows->addWidget(sbMoveDown);
    arrows->addStretch(1);

    auto* grid = new QGridLayout;
    grid->addWidget(allLabel, 0, 0);
    grid->addWidget(chosenLabel, 0, 2);
    grid->addWidget(lbAll, 1, 0);
    grid->addLayout(middle, 1, 1);
    grid->addWidget(lbPriceList, 1, 2);
    grid->addLayout(arrows, 1, 3);
    grid->addWidget(btAlias, 2, 2, Qt::AlignRight);

    connect(btSelect, &QPushButton::clicked, this, &TSetupForm::btSelectClick);
    connect(lbAll, &QListWidget::itemDoubleClicked, this, &TSetupForm::btSelectClick);
    connect(btDelete, &QPushButton::clicked, this, &TSetupForm::btDeleteClick);
    connect(lbPriceList, &QListWidget::itemDoubleClicked, this, &TSetupForm::btDeleteClick);
    connect(sbMoveUp, &QToolButton::clicked, this, &TSetupForm::sbMoveUpClick);
    connect(sbMoveDown, &QToolButton::clicked, this, &TSetupForm::sbMoveDownClick);
    connect(btAlias, &QPushButton::clicked, this, &TSetupForm::btAliasClick);
    // Only an instrument of the catalogue can have a short name.
    connect(lbPriceList, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        btAlias->setEnabled(item && !CatalogueName(item->text()).isEmpty());
    });

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(tr("请选择要显示的牌价"), grid));
    // The windows are built in one language: another takes effect at the next start.
    cbLanguage = new QComboBox;
    cbLanguage->addItem(tr("自动"), int(UiLanguage::Auto));
    cbLanguage->addItem(tr("中文"), int(UiLanguage::Chinese));
    cbLanguage->addItem(QStringLiteral("English"), int(UiLanguage::English));
    auto* languageLabel = new QLabel(tr("界面语言"));
    languageLabel->setBuddy(cbLanguage);
    auto* language = new QHBoxLayout;
    language->addWidget(languageLabel);
    language->addWidget(cbLanguage);
    language->addWidget(new QLabel(tr("下次启动时生效")));
    language->addStretch(1);
    layout->addLayout(language);
    return page;
}

QWidget* TSetupForm::CreateGeneralPage() {
    seInterval = SpinBox(TValueType::vtInteger, keys::Interval.Min, keys::Interval.Max, 1);
    seInterval->SetValue(keys::Interval.Default);
    auto* interval = new QHBoxLayout;
    interval->addWidget(new QLabel(tr("刷新牌价间隔时间（秒）")));
    interval->addWidget(seInterval);
    interval->addStretch(1);

    cbDisplayTime = new QCheckBox(tr("显示牌价刷新时间(&1)"));
    cbDisplayProgressBar = new QCheckBox(tr("显示倒计时进度(&2)"));
    cbAutoAlphaBlend = new QCheckBox(tr("窗体自动半透明隐藏(&3)"));
    cbNotRunWeekEnd = new QCheckBox(tr("周末时不随系统自动加载(&4)"));
    auto* options = new QGridLayout;
    options->addWidget(cbDisplayTime, 0, 0);
    options->addWidget(cbDisplayProgressBar, 0, 1);
    options->addWidget(cbAutoAlphaBlend, 1, 0);
    options->addWidget(cbNotRunWeekEnd, 1, 1);

    hkHotKey = new THotKey;
    hkHotKey->SetHotKey(kDefaultHotKey);
    hkHotKey->setFixedWidth(150);
    lblHotKeyHint = new QLabel;
    // The line is there before any key is refused, so that the page does not jump.
    lblHotKeyHint->setMinimumHeight(lblHotKeyHint->fontMetrics().height());
    hkHotKey->OnKeyTried = [this](bool accepted) {
        lblHotKeyHint->setText(accepted ? QString()
                                        : tr("热键须带 Ctrl 或 Alt；F1–F24、Pause、"
                                             "Print、Scroll Lock 可单独使用"));
    };
    auto* hotKeyRow = new QHBoxLayout;
    hotKeyRow->addWidget(new QLabel(tr("按此热键时弹出牌价窗口")));
    hotKeyRow->addWidget(hkHotKey);
    hotKeyRow->addStretch(1);
    auto* hotKey = new QVBoxLayout;
    hotKey->addLayout(hotKeyRow);
    hotKey->addWidget(lblHotKeyHint);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(tr("时间间隔"), interval));
    layout->addWidget(Group(tr("选项"), options));
    layout->addWidget(Group(tr("弹出窗口热键"), hotKey));
    layout->addStretch(1);
    return page;
}

QWidget* TSetupForm::CreateFontPage() {
    pnlFontDemo = new TFontDemo;
    pnlFontDemo->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlFontDemo->setAlignment(Qt::AlignCenter);
    pnlFontDemo->setMinimumHeight(48);
    pnlFontDemo->setAutoFillBackground(true);
    pnlFontDemo->setCursor(Qt::PointingHandCursor);
    pnlFontDemo->installEventFilter(this);
    btMemoFont = new QPushButton(tr("设置牌价显示字体(&F)"));
    btMemoColor = new QPushButton(tr("设置牌价显示颜色(&O)"));
    connect(btMemoFont, &QPushButton::clicked, this, &TSetupForm::btMemoFontClick);
    connect(btMemoColor, &QPushButton::clicked, this, &TSetupForm::btMemoColorClick);
    auto* fontButtons = new QHBoxLayout;
    fontButtons->addStretch(1);
    fontButtons->addWidget(btMemoFont);
    fontButtons->addWidget(btMemoColor);
    auto* font = new QVBoxLayout;
    font->addWidget(new QLabel(tr("牌价字体示例")));
    font->addWidget(pnlFontDemo);
    font->addLayout(fontButtons);

    rbColorMode0 = new QRadioButton(tr("红跌绿涨"));
    rbColorMode1 = new QRadioButton(tr("红涨绿跌"));
    rbColorMode2 = new QRadioButton(tr("蓝涨橙跌"));
    rbColorMode2->setToolTip(tr("便于色弱者分辨"));
    rbColorMode3 = new QRadioButton(tr("低调（不着色）"));
    rbColorMode0->setChecked(true);
    auto* colours = new QGridLayout;
    colours->addWidget(rbColorMode0, 0, 0);
    colours->addWidget(rbColorMode1, 0, 1);
    colours->addWidget(rbColorMode2, 1, 0);
    colours->addWidget(rbColorMode3, 1, 1);
    rgColorMode = Group(tr("牌价色彩"), colours);

    cbShowChange = new QCheckBox(tr("显示涨跌（与昨收相比）"));
    cbShowArrows = new QCheckBox(tr("显示涨跌箭头"));
    cbShowSparkline = new QCheckBox(tr("显示近4小时走势"));
    auto* contents = new QHBoxLayout;
    contents->addWidget(cbShowChange, 1);
    contents->addWidget(cbShowArrows, 1);
    contents->addWidget(cbShowSparkline, 1);

    seLineSpacing = SpinBox(TValueType::vtFloat, keys::LineSpacing.Min, keys::LineSpacing.Max, 0.1);
    seLineSpacing->SetDecimal(2);
    seLineSpacing->SetValue(keys::LineSpacing.Default);
    auto* spacing = new QHBoxLayout;
    spacing->addWidget(seLineSpacing);
    spacing->addWidget(new QLabel(tr("倍行间距")));
    spacing->addStretch(1);

    auto* lower = new QHBoxLayout;
    lower->addWidget(rgColorMode, 1);
    lower->addWidget(Group(tr("牌价行间距离"), spacing), 1);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(tr("牌价字体"), font));
    layout->addLayout(lower);
    layout->addWidget(Group(tr("牌价行内容"), contents));
    layout->addStretch(1);
    return page;
}

QWidget* TSetupForm::CreateShortcutPage() {
    cbShctStartup = new QCheckBox(tr("登录时自动启动(&1)"));
    cbShctDesktop = new QCheckBox(tr("桌面快捷方式(&2)"));
    cbShctQuickLaunch = new QCheckBox(tr("应用程序菜单(&3)"));
    btnCreatShortCut = new QPushButton(tr("立即创建(&C)"));
    connect(btnCreatShortCut, &QPushButton::clicked, this, &TSetupForm::btnCreatShortCutClick);
    auto* boxes = new QVBoxLayout;
    for (QCheckBox* box : {cbShctStartup, cbShctDesktop, cbShctQuickLaunch}) {
        box->setChecked(true);
        boxes->addWidget(box);
    }
    // The login switch takes effect with OK; the button makes the other two at once.
    cbShctStartup->setChecked(shortcuts_ && AutostartEnabled(*shortcuts_));
    auto* button = new QHBoxLayout;
    button->addStretch(1);
    button->addWidget(btnCreatShortCut);
    boxes->addLayout(button);
    lblShortcutResult = new QLabel;
    lblShortcutResult->setMinimumHeight(lblShortcutResult->fontMetrics().height());
    boxes->addWidget(lblShortcutResult);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(tr("创建快捷方式"), boxes));
    auto* note =
        new QLabel(tr("“登录时自动启动”在按“确定”后生效；桌面和菜单快捷方式由“立即创建”生成"));
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addStretch(1);
    return page;
}

QWidget* TSetupForm::CreatePromptPage() {
    cbAllowPrompt = new QCheckBox(tr("每隔"));
    sePromptInterval =
        SpinBox(TValueType::vtInteger, keys::PromptInterval.Min, keys::PromptInterval.Max, 1);
    sePromptInterval->SetValue(keys::PromptInterval.Default);
    connect(cbAllowPrompt, &QCheckBox::toggled, this, &TSetupForm::cbAllowPromptClick);
    auto* prompt = new QHBoxLayout;
    prompt->addWidget(cbAllowPrompt);
    prompt->addWidget(sePromptInterval);
    prompt->addWidget(new QLabel(tr("分钟，自动弹出牌价窗体到最前面")));
    prompt->addStretch(1);

    cbUseMonitor = new QCheckBox(tr("使用牌价监控报警，当牌价到达一定价格时，自动报警"));
    lblMonitor1 = new QLabel(tr("监控币种："));
    cbMonitorCurrency = new QComboBox;
    cbMonitorCurrency->setEditable(false);
    cbMonitorCurrency->setMaxVisibleItems(16);
    lblMonitor2 = new QLabel(tr("报警价格："));
    seMonitorPrice =
        SpinBox(TValueType::vtFloat, keys::MonitorPrice.Min, keys::MonitorPrice.Max, 0.0001);
    seMonitorPrice->SetDecimal(4);
    // The alarm sound is the sound file beside the program, named after it.
    cbAlarmSound = new QCheckBox(
        tr("同时连续发出声音报警（播放%1）").arg(QFileInfo(files_.WavPath).fileName()));
    connect(cbUseMonitor, &QCheckBox::toggled, this, &TSetupForm::cbUseMonitorClick);
    connect(cbMonitorCurrency, &QComboBox::activated, this, &TSetupForm::cbMonitorCurrencyChange);
    auto* monitor = new QGridLayout;
    monitor->addWidget(cbUseMonitor, 0, 0, 1, 3);
    monitor->addWidget(lblMonitor1, 1, 0);
    monitor->addWidget(cbMonitorCurrency, 1, 1);
    monitor->addWidget(lblMonitor2, 2, 0);
    monitor->addWidget(seMonitorPrice, 2, 1);
    monitor->addWidget(cbAlarmSound, 3, 0, 1, 3);
    monitor->setColumnStretch(2, 1);

    // The rules of [Alarms], beside the one alarm above and independent of its switch.
    lbAlarms = new QListWidget;
    lbAlarms->setSelectionMode(QAbstractItemView::SingleSelection);
    lbAlarms->setFixedHeight(96);
    btAlarmAdd = new QPushButton(tr("添加..."));
    btAlarmEdit = new QPushButton(tr("编辑..."));
    btAlarmDelete = new QPushButton(tr("删除"));
    connect(btAlarmAdd, &QPushButton::clicked, this, &TSetupForm::btAlarmAddClick);
    connect(btAlarmEdit, &QPushButton::clicked, this, &TSetupForm::btAlarmEditClick);
    connect(lbAlarms, &QListWidget::itemDoubleClicked, this, &TSetupForm::btAlarmEditClick);
    connect(btAlarmDelete, &QPushButton::clicked, this, &TSetupForm::btAlarmDeleteClick);
    connect(lbAlarms, &QListWidget::currentRowChanged, this, &TSetupForm::EnableAlarmButtons);
    auto* ruleButtons = new QVBoxLayout;
    for (QPushButton* button : {btAlarmAdd, btAlarmEdit, btAlarmDelete})
        ruleButtons->addWidget(button);
    ruleButtons->addStretch(1);
    auto* rules = new QHBoxLayout;
    rules->addWidget(lbAlarms, 1);
    rules->addLayout(ruleButtons);
    auto* rulesLabel = new QLabel(tr("警报规则(&R)："));
    rulesLabel->setBuddy(lbAlarms);
    lblAlarmsUnreadable = new QLabel;
    lblAlarmsUnreadable->setWordWrap(true);
    lblAlarmsUnreadable->hide();
    cbAlarmNotify = new QCheckBox(tr("桌面通知"));
    leAlarmCommand = new QLineEdit;
    auto* commandLabel = new QLabel(tr("警报时运行："));
    commandLabel->setBuddy(leAlarmCommand);
    auto* command = new QHBoxLayout;
    command->addWidget(commandLabel);
    command->addWidget(leAlarmCommand, 1);
    monitor->addWidget(rulesLabel, 4, 0, 1, 3);
    monitor->addLayout(rules, 5, 0, 1, 3);
    monitor->addWidget(lblAlarmsUnreadable, 6, 0, 1, 3);
    monitor->addWidget(cbAlarmNotify, 7, 0, 1, 3);
    monitor->addLayout(command, 8, 0, 1, 3);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(tr("定时显示牌价"), prompt));
    layout->addWidget(Group(tr("牌价监控报警"), monitor));
    layout->addStretch(1);
    return page;
}

QWidget* TSetupForm::CreateProxyPage() {
    rbAutoDetectProxy = new QRadioButton(tr("使用系统的代理设置（推荐）"));
    rbNotUseProxy = new QRadioButton(tr("不通过代理服务器连接网络"));
    rbManualSetProxy = new QRadioButton(tr("手工设置代理服务器："));
    rbAutoDetectProxy->setChecked(true);
    leProxyAddress = new QLineEdit;
    leProxyPort = new QLineEdit;
    leProxyPort->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), this));
    leProxyUsername = new QLineEdit;
    leProxyPassword = new QLineEdit;
    leProxyPassword->setEchoMode(QLineEdit::Password);
    leProxyPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // "*"
    for (QRadioButton* rb : {rbAutoDetectProxy, rbNotUseProxy, rbManualSetProxy}) {
        connect(rb, &QRadioButton::toggled, this, &TSetupForm::rbManualSetProxyClick);
    }

    auto* fields = new QGridLayout;
    fields->setContentsMargins(20, 0, 0, 0);
    const auto addField = [fields](int row, int column, const QString& caption, QLineEdit* edit) {
        auto* label = new QLabel(caption);
        label->setBuddy(edit);
        fields->addWidget(label, row, column * 2);
        fields->addWidget(edit, row, column * 2 + 1);
    };
    addField(0, 0, tr("地址："), leProxyAddress);
    addField(0, 1, tr("端口："), leProxyPort);
    addField(1, 0, tr("用户名："), leProxyUsername);
    addField(1, 1, tr("密码："), leProxyPassword);
    fields->setColumnStretch(1, 3);
    fields->setColumnStretch(3, 2);

    auto* proxy = new QVBoxLayout;
    proxy->addWidget(rbAutoDetectProxy);
    proxy->addWidget(rbNotUseProxy);
    proxy->addWidget(rbManualSetProxy);
    proxy->addLayout(fields);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(tr("代理服务器设置"), proxy));

    rbBuiltinSource = new QRadioButton(tr("内置行情源"));
    lbSources = new QListWidget;
    lbSources->setSelectionMode(QAbstractItemView::SingleSelection);
    lbSources->setToolTip(tr("勾选要读取的行情源；排在前面的优先"));
    sbSourceUp = new QToolButton;
    sbSourceUp->setArrowType(Qt::UpArrow);
    sbSourceUp->setToolTip(tr("向上移"));
    sbSourceDown = new QToolButton;
    sbSourceDown->setArrowType(Qt::DownArrow);
    sbSourceDown->setToolTip(tr("向下移"));
    leSourceMirror = new QLineEdit;
    lblSourceMirror = new QLabel(tr("镜像地址(&M)："));
    lblSourceMirror->setBuddy(leSourceMirror);
    auto* mirrorNote = new QLabel(tr("留空则读取该行情源本身的地址"));
    mirrorNote->setEnabled(false);
    connect(lbSources, &QListWidget::currentRowChanged, this, &TSetupForm::lbSourcesRowChanged);
    connect(lbSources, &QListWidget::itemChanged, this, &TSetupForm::ShowSourceLine);
    connect(sbSourceUp, &QToolButton::clicked, this, [this] { MoveSource(-1); });
    connect(sbSourceDown, &QToolButton::clicked, this, [this] { MoveSource(1); });
    connect(leSourceMirror, &QLineEdit::textEdited, this, &TSetupForm::leSourceMirrorEdited);
    connect(rbBuiltinSource, &QRadioButton::toggled, this, &TSetupForm::EnableSourceControls);

    auto* arrows = new QVBoxLayout;
    arrows->addWidget(sbSourceUp);
    arrows->addWidget(sbSourceDown);
    arrows->addStretch(1);
    auto* mirror = new QVBoxLayout;
    mirror->addWidget(lblSourceMirror);
    mirror->addWidget(leSourceMirror);
    mirror->addWidget(mirrorNote);
    mirror->addStretch(1);
    auto* feeds = new QHBoxLayout;
    feeds->setContentsMargins(20, 0, 0, 0);
    feeds->addWidget(lbSources);
    feeds->addLayout(arrows);
    feeds->addLayout(mirror, 1);

    rbRatesURL = new QRadioButton(tr("牌价网址："));
    leRatesURL = new QLineEdit;
    rbBuiltinSource->setChecked(true);
    leRatesURL->setEnabled(false);
    connect(rbRatesURL, &QRadioButton::toggled, leRatesURL, &QWidget::setEnabled);
    auto* address = new QHBoxLayout;
    address->addWidget(rbRatesURL);
    address->addWidget(leRatesURL, 1);
    auto* sources = new QVBoxLayout;
    sources->addWidget(rbBuiltinSource);
    sources->addLayout(feeds);
    sources->addLayout(address);
    layout->addWidget(Group(tr("牌价来源"), sources));
    layout->addStretch(1);
    return page;
}

}  // namespace kestrel
