#include "dialog/setupform.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include <arpa/inet.h>

#include "controls/spinedit.h"
#include "platform/fonts.h"
#include "platform/secretstore.h"
#include "platform/shortcuts.h"
#include "quotes/catalogue.h"
#include "quotes/quotelines.h"
#include "settings/hotkeytext.h"
#include "settings/profile.h"
#include "settings/settingskeys.h"
#include "settings/settingsload.h"
#include "ui/clicks.h"
#include "ui/quotefont.h"

namespace kestrel {

namespace {

// Shifted symbols of a US keyboard and the key that gives them: a hot key is a key, not a
// character, so Shift+1 is stored as Shift+1 whatever Qt calls the character.
struct SymbolKey {
    int key;
    quint8 virtualKey;
};
constexpr SymbolKey kSymbolKeys[] = {
    {Qt::Key_Exclam, '1'},
    {Qt::Key_At, '2'},
    {Qt::Key_NumberSign, '3'},
    {Qt::Key_Dollar, '4'},
    {Qt::Key_Percent, '5'},
    {Qt::Key_AsciiCircum, '6'},
    {Qt::Key_Ampersand, '7'},
    {Qt::Key_ParenLeft, '9'},
    {Qt::Key_ParenRight, '0'},
    {Qt::Key_Semicolon, VK_OEM_1},
    {Qt::Key_Colon, VK_OEM_1},
    {Qt::Key_Equal, VK_OEM_PLUS},
    {Qt::Key_Comma, VK_OEM_COMMA},
    {Qt::Key_Less, VK_OEM_COMMA},
    {Qt::Key_Underscore, VK_OEM_MINUS},
    {Qt::Key_Greater, VK_OEM_PERIOD},
    {Qt::Key_Question, VK_OEM_2},
    {Qt::Key_QuoteLeft, VK_OEM_3},
    {Qt::Key_AsciiTilde, VK_OEM_3},
    {Qt::Key_BracketLeft, VK_OEM_4},
    {Qt::Key_BraceLeft, VK_OEM_4},
    {Qt::Key_Backslash, VK_OEM_5},
    {Qt::Key_Bar, VK_OEM_5},
    {Qt::Key_BracketRight, VK_OEM_6},
    {Qt::Key_BraceRight, VK_OEM_6},
    {Qt::Key_Apostrophe, VK_OEM_7},
    {Qt::Key_QuoteDbl, VK_OEM_7},
};

quint8 VirtualKeyOf(int key, bool keypad) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<quint8>(key);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return static_cast<quint8>(keypad ? VK_NUMPAD0 + (key - Qt::Key_0) : key);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return static_cast<quint8>(VK_F1 + (key - Qt::Key_F1));
    if (keypad) {
        switch (key) {
            case Qt::Key_Asterisk:
                return VK_MULTIPLY;
            case Qt::Key_Plus:
                return VK_ADD;
            case Qt::Key_Minus:
                return VK_SUBTRACT;
            case Qt::Key_Period:
                return VK_DECIMAL;
            case Qt::Key_Slash:
                return VK_DIVIDE;
            default:
                break;
        }
    }
    switch (key) {
        case Qt::Key_Backspace:
            return VK_BACK;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return VK_TAB;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VK_RETURN;
        case Qt::Key_Escape:
            return VK_ESCAPE;
        case Qt::Key_Space:
            return VK_SPACE;
        case Qt::Key_PageUp:
            return VK_PRIOR;
        case Qt::Key_PageDown:
            return VK_NEXT;
        case Qt::Key_End:
            return VK_END;
        case Qt::Key_Home:
            return VK_HOME;
        case Qt::Key_Left:
            return VK_LEFT;
        case Qt::Key_Up:
            return VK_UP;
        case Qt::Key_Right:
            return VK_RIGHT;
        case Qt::Key_Down:
            return VK_DOWN;
        case Qt::Key_Insert:
            return VK_INSERT;
        case Qt::Key_Delete:
            return VK_DELETE;
        case Qt::Key_Pause:
            return VK_PAUSE;
        case Qt::Key_Print:
            return VK_SNAPSHOT;
        case Qt::Key_Clear:
            return VK_CLEAR;
        case Qt::Key_Menu:
            return VK_APPS;
        case Qt::Key_ScrollLock:
            return VK_SCROLL;
        case Qt::Key_Asterisk:
            return '8';
        case Qt::Key_Plus:
            return VK_OEM_PLUS;
        case Qt::Key_Minus:
            return VK_OEM_MINUS;
        case Qt::Key_Period:
            return VK_OEM_PERIOD;
        case Qt::Key_Slash:
            return VK_OEM_2;
        default:
            break;
    }
    for (const SymbolKey& s : kSymbolKeys) {
        if (s.key == key)
            return s.virtualKey;
    }
    return 0;
}

// Line breaks and other control characters cannot stand in a line of the settings file (and
// after scrambling they could turn into line breaks); a pasted text loses them.
QString OneLine(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() >= 0x20)
            result += c;
    }
    return result;
}

// The value as the box shows it once the user leaves it: within the bounds when they hold.
double BoundedValue(const TSpinEdit* box) {
    const double value = box->Value();
    if (box->MinValue() == box->MaxValue())
        return value;
    return std::clamp(value, box->MinValue(), box->MaxValue());
}

// A proxy address as the transfer joins it with ":port": a host name, an IPv4 address, or an
// IPv6 address in brackets; no scheme, path, port or blank.
bool IsProxyHost(const QString& text) {
    if (text.startsWith(u'[') && text.endsWith(u']')) {
        in6_addr address{};
        return inet_pton(AF_INET6, text.mid(1, text.size() - 2).toLatin1().constData(), &address) ==
               1;
    }
    static const QRegularExpression host(
        QStringLiteral("^(?=.{1,253}\\.?$)[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?"
                       "(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*\\.?$"));
    return host.match(text).hasMatch();
}

bool IsProxyPort(const QString& text) {
    bool ok = false;
    const int port = text.toInt(&ok);
    return ok && port >= 1 && port <= 65535 && text == QString::number(port);
}

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

void SwapItems(QListWidget* list, int a, int b) {
    const QString text = list->item(a)->text();
    list->item(a)->setText(list->item(b)->text());
    list->item(b)->setText(text);
}

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

// The font as the font chooser shows it: in points, as the settings store it. The chooser
// finds the font's style by its name, and with the toolkit's translations installed the name
// it derives from the weight ("粗体") is not among the face's own ("Bold"): the face's own
// name is given, so that a bold font opens as bold.
QFont ChooserFontOf(const FontDesc& desc) {
    QFont font = QFontOf(desc);
    font.setPointSize(std::max(1, desc.Size));
    for (const QString& style : QFontDatabase::styles(font.family())) {
        if (QFontDatabase::bold(font.family(), style) == desc.Bold &&
            QFontDatabase::italic(font.family(), style) == desc.Italic) {
            font.setStyleName(style);
            break;
        }
    }
    return font;
}

bool ChooseFontWithDialog(QWidget* parent, FontDesc& desc) {
    bool ok = false;
    const QFont font =
        QFontDialog::getFont(&ok, ChooserFontOf(desc), parent, QStringLiteral("牌价字体"));
    if (!ok)
        return false;
    desc.Name = font.family();
    desc.Size = font.pointSize() > 0 ? font.pointSize()
                                     : static_cast<int>(std::lround(font.pixelSize() * 72.0 / 96));
    desc.Bold = font.bold();
    desc.Italic = font.italic();
    desc.Underline = font.underline();
    desc.StrikeOut = font.strikeOut();
    return true;
}

bool ChooseColorWithDialog(QWidget* parent, quint32& color) {
    const QColor chosen =
        QColorDialog::getColor(ColourOf(color), parent, QStringLiteral("牌价颜色"));
    if (!chosen.isValid())
        return false;
    color = ColorValueOf(chosen);
    return true;
}

}  // namespace

quint16 ShortCutOfKey(int key, Qt::KeyboardModifiers modifiers) {
    // The shortcut value has no room for the Super key; a key with it is refused rather than
    // stored as another key.
    if (modifiers & Qt::MetaModifier)
        return 0;
    const quint8 virtualKey = VirtualKeyOf(key, modifiers & Qt::KeypadModifier);
    if (virtualKey == 0 || KeyName(virtualKey).isEmpty())
        return 0;
    quint16 shortcut = virtualKey;
    if (modifiers & Qt::ShiftModifier || key == Qt::Key_Backtab)
        shortcut |= kShiftMask;
    if (modifiers & Qt::ControlModifier)
        shortcut |= kCtrlMask;
    if (modifiers & Qt::AltModifier)
        shortcut |= kAltMask;
    return shortcut;
}

THotKey::THotKey(QWidget* parent) : QLineEdit(parent) {
    setPlaceholderText(QStringLiteral("无"));
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

void THotKey::SetHotKey(quint16 value) {
    hotKey_ = value;
    setText(value == 0 ? QString() : ShortCutToText(value));
}

namespace {

bool IsModifierKey(int key) {
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt ||
           key == Qt::Key_Meta || key == Qt::Key_AltGr || key == Qt::Key_Super_L ||
           key == Qt::Key_Super_R || key == Qt::Key_CapsLock || key == Qt::Key_NumLock ||
           key == 0 || key == Qt::Key_unknown;
}

// Keys that keep their meaning in a dialog when pressed without Ctrl or Alt.
bool IsDialogKey(const QKeyEvent* event) {
    const auto mods = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
    if (mods)
        return false;
    switch (event->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool THotKey::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // The dialog's accelerators (Alt+1, Alt+F, ...) must not take a key being captured.
        if (!IsDialogKey(static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Tab with Ctrl or Alt is a key to capture, not a move to the next control.
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && !IsDialogKey(key)) {
            keyPressEvent(key);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void THotKey::keyPressEvent(QKeyEvent* event) {
    if (IsDialogKey(event)) {
        event->ignore();
        return;
    }
    event->accept();
    const int key = event->key();
    if (IsModifierKey(key))
        return;
    const auto mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                            Qt::AltModifier | Qt::MetaModifier);
    if ((key == Qt::Key_Backspace || key == Qt::Key_Delete) && mods == Qt::NoModifier) {
        SetHotKey(0);
        return;
    }
    const quint16 shortcut = ShortCutOfKey(key, event->modifiers());
    const bool accepted = IsGlobalHotKey(shortcut);
    if (accepted)
        SetHotKey(shortcut);
    else
        QApplication::beep();
    if (OnKeyTried)
        OnKeyTried(accepted);
}

void THotKey::mouseReleaseEvent(QMouseEvent* event) {
    // A middle click would paste the X selection: the box shows only the key it holds.
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

TSetupForm::TSetupForm(const ProgramFiles& files, const FontDesc& windowFont,
                       std::function<long double(const QString&)> quoteFor,
                       IShortcutService* shortcuts, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      files_(files),
      windowFont_(windowFont),
      quoteFor_(std::move(quoteFor)),
      shortcuts_(shortcuts) {
    ChooseFont = [this](FontDesc& font) { return ChooseFontWithDialog(this, font); };
    ChooseColor = [this](quint32& color) { return ChooseColorWithDialog(this, color); };
    FormCreate();
}

void TSetupForm::CreateControls() {
    setWindowTitle(QStringLiteral("Kestrel-参数设置"));
    PageControl = new QTabWidget;
    PageControl->addTab(CreateSelectionPage(), QStringLiteral("显示币种"));
    PageControl->addTab(CreateGeneralPage(), QStringLiteral("常规选项"));
    PageControl->addTab(CreateFontPage(), QStringLiteral("字体显示"));
    PageControl->addTab(CreateShortcutPage(), QStringLiteral("快捷方式"));
    PageControl->addTab(CreatePromptPage(), QStringLiteral("提示警报"));
    PageControl->addTab(CreateProxyPage(), QStringLiteral("网络设置"));
    PageControl->setCurrentIndex(0);

    BitBtn1 = new QPushButton(QStringLiteral("确定"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("取消"));
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
    btSelect = new QPushButton(QStringLiteral(">> 选择"));
    btDelete = new QPushButton(QStringLiteral("<< 取消选择"));
    sbMoveUp = new QToolButton;
    sbMoveUp->setArrowType(Qt::UpArrow);
    sbMoveUp->setToolTip(QStringLiteral("向上移"));
    sbMoveDown = new QToolButton;
    sbMoveDown->setArrowType(Qt::DownArrow);
    sbMoveDown->setToolTip(QStringLiteral("向下移"));

    auto* allLabel = new QLabel(QStringLiteral("所有货币或商品(&A)"));
    allLabel->setBuddy(lbAll);
    auto* chosenLabel = new QLabel(QStringLiteral("已选中的货币或商品(&C)"));
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

    connect(btSelect, &QPushButton::clicked, this, &TSetupForm::btSelectClick);
    connect(lbAll, &QListWidget::itemDoubleClicked, this, &TSetupForm::btSelectClick);
    connect(btDelete, &QPushButton::clicked, this, &TSetupForm::btDeleteClick);
    connect(lbPriceList, &QListWidget::itemDoubleClicked, this, &TSetupForm::btDeleteClick);
    connect(sbMoveUp, &QToolButton::clicked, this, &TSetupForm::sbMoveUpClick);
    connect(sbMoveDown, &QToolButton::clicked, this, &TSetupForm::sbMoveDownClick);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(QStringLiteral("请选择要显示的牌价"), grid));
    return page;
}

QWidget* TSetupForm::CreateGeneralPage() {
    seInterval = SpinBox(TValueType::vtInteger, keys::Interval.Min, keys::Interval.Max, 1);
    seInterval->SetValue(keys::Interval.Default);
    auto* interval = new QHBoxLayout;
    interval->addWidget(new QLabel(QStringLiteral("刷新牌价间隔时间（秒）")));
    interval->addWidget(seInterval);
    interval->addStretch(1);

    cbDisplayTime = new QCheckBox(QStringLiteral("显示牌价刷新时间(&1)"));
    cbDisplayProgressBar = new QCheckBox(QStringLiteral("显示倒计时进度(&2)"));
    cbAutoAlphaBlend = new QCheckBox(QStringLiteral("窗体自动半透明隐藏(&3)"));
    cbNotRunWeekEnd = new QCheckBox(QStringLiteral("周末时不随系统自动加载(&4)"));
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
                                        : QStringLiteral("热键须带 Ctrl 或 Alt；F1–F24、Pause、"
                                                         "Print、Scroll Lock 可单独使用"));
    };
    auto* hotKeyRow = new QHBoxLayout;
    hotKeyRow->addWidget(new QLabel(QStringLiteral("按此热键时弹出牌价窗口")));
    hotKeyRow->addWidget(hkHotKey);
    hotKeyRow->addStretch(1);
    auto* hotKey = new QVBoxLayout;
    hotKey->addLayout(hotKeyRow);
    hotKey->addWidget(lblHotKeyHint);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(QStringLiteral("时间间隔"), interval));
    layout->addWidget(Group(QStringLiteral("选项"), options));
    layout->addWidget(Group(QStringLiteral("弹出窗口热键"), hotKey));
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
    btMemoFont = new QPushButton(QStringLiteral("设置牌价显示字体(&F)"));
    btMemoColor = new QPushButton(QStringLiteral("设置牌价显示颜色(&O)"));
    connect(btMemoFont, &QPushButton::clicked, this, &TSetupForm::btMemoFontClick);
    connect(btMemoColor, &QPushButton::clicked, this, &TSetupForm::btMemoColorClick);
    auto* fontButtons = new QHBoxLayout;
    fontButtons->addStretch(1);
    fontButtons->addWidget(btMemoFont);
    fontButtons->addWidget(btMemoColor);
    auto* font = new QVBoxLayout;
    font->addWidget(new QLabel(QStringLiteral("牌价字体示例")));
    font->addWidget(pnlFontDemo);
    font->addLayout(fontButtons);

    rbColorMode0 = new QRadioButton(QStringLiteral("红跌绿涨"));
    rbColorMode1 = new QRadioButton(QStringLiteral("红涨绿跌"));
    rbColorMode0->setChecked(true);
    auto* colours = new QHBoxLayout;
    colours->addWidget(rbColorMode0, 1);
    colours->addWidget(rbColorMode1, 1);
    rgColorMode = Group(QStringLiteral("牌价色彩"), colours);

    seLineSpacing = SpinBox(TValueType::vtFloat, keys::LineSpacing.Min, keys::LineSpacing.Max, 0.1);
    seLineSpacing->SetDecimal(2);
    seLineSpacing->SetValue(keys::LineSpacing.Default);
    auto* spacing = new QHBoxLayout;
    spacing->addWidget(seLineSpacing);
    spacing->addWidget(new QLabel(QStringLiteral("倍行间距")));
    spacing->addStretch(1);

    auto* lower = new QHBoxLayout;
    lower->addWidget(rgColorMode, 1);
    lower->addWidget(Group(QStringLiteral("牌价行间距离"), spacing), 1);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(QStringLiteral("牌价字体"), font));
    layout->addLayout(lower);
    layout->addStretch(1);
    return page;
}

QWidget* TSetupForm::CreateShortcutPage() {
    cbShctStartup = new QCheckBox(QStringLiteral("登录时自动启动(&1)"));
    cbShctDesktop = new QCheckBox(QStringLiteral("桌面快捷方式(&2)"));
    cbShctQuickLaunch = new QCheckBox(QStringLiteral("应用程序菜单(&3)"));
    btnCreatShortCut = new QPushButton(QStringLiteral("立即创建(&C)"));
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
    layout->addWidget(Group(QStringLiteral("创建快捷方式"), boxes));
    layout->addWidget(new QLabel(QStringLiteral("如需跟随系统自动启动，请创建“启动组快捷方式”")));
    layout->addStretch(1);
    return page;
}

QWidget* TSetupForm::CreatePromptPage() {
    cbAllowPrompt = new QCheckBox(QStringLiteral("每隔"));
    sePromptInterval =
        SpinBox(TValueType::vtInteger, keys::PromptInterval.Min, keys::PromptInterval.Max, 1);
    sePromptInterval->SetValue(keys::PromptInterval.Default);
    connect(cbAllowPrompt, &QCheckBox::toggled, this, &TSetupForm::cbAllowPromptClick);
    auto* prompt = new QHBoxLayout;
    prompt->addWidget(cbAllowPrompt);
    prompt->addWidget(sePromptInterval);
    prompt->addWidget(new QLabel(QStringLiteral("分钟，自动弹出牌价窗体到最前面")));
    prompt->addStretch(1);

    cbUseMonitor =
        new QCheckBox(QStringLiteral("使用牌价监控报警，当牌价到达一定价格时，自动报警"));
    lblMonitor1 = new QLabel(QStringLiteral("监控币种："));
    cbMonitorCurrency = new QComboBox;
    cbMonitorCurrency->setEditable(false);
    cbMonitorCurrency->setMaxVisibleItems(16);
    lblMonitor2 = new QLabel(QStringLiteral("报警价格："));
    seMonitorPrice =
        SpinBox(TValueType::vtFloat, keys::MonitorPrice.Min, keys::MonitorPrice.Max, 0.0001);
    seMonitorPrice->SetDecimal(4);
    // The alarm sound is the sound file beside the program, named after it.
    cbAlarmSound = new QCheckBox(
        QStringLiteral("同时连续发出声音报警（播放%1）").arg(QFileInfo(files_.WavPath).fileName()));
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

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(QStringLiteral("定时显示牌价"), prompt));
    layout->addWidget(Group(QStringLiteral("牌价监控报警"), monitor));
    layout->addStretch(1);
    return page;
}

QWidget* TSetupForm::CreateProxyPage() {
    rbAutoDetectProxy = new QRadioButton(QStringLiteral("使用系统的代理设置（推荐）"));
    rbNotUseProxy = new QRadioButton(QStringLiteral("不通过代理服务器连接网络"));
    rbManualSetProxy = new QRadioButton(QStringLiteral("手工设置代理服务器："));
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
    addField(0, 0, QStringLiteral("地址："), leProxyAddress);
    addField(0, 1, QStringLiteral("端口："), leProxyPort);
    addField(1, 0, QStringLiteral("用户名："), leProxyUsername);
    addField(1, 1, QStringLiteral("密码："), leProxyPassword);
    fields->setColumnStretch(1, 3);
    fields->setColumnStretch(3, 2);

    auto* proxy = new QVBoxLayout;
    proxy->addWidget(rbAutoDetectProxy);
    proxy->addWidget(rbNotUseProxy);
    proxy->addWidget(rbManualSetProxy);
    proxy->addLayout(fields);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Group(QStringLiteral("代理服务器设置"), proxy));

    rbBuiltinSource = new QRadioButton(QStringLiteral("内置行情源（新浪财经 + 欧洲央行）"));
    rbRatesURL = new QRadioButton(QStringLiteral("牌价网址："));
    leRatesURL = new QLineEdit;
    rbBuiltinSource->setChecked(true);
    leRatesURL->setEnabled(false);
    connect(rbRatesURL, &QRadioButton::toggled, leRatesURL, &QWidget::setEnabled);
    auto* address = new QHBoxLayout;
    address->addWidget(rbRatesURL);
    address->addWidget(leRatesURL, 1);
    auto* sources = new QVBoxLayout;
    sources->addWidget(rbBuiltinSource);
    sources->addLayout(address);
    layout->addWidget(Group(QStringLiteral("牌价来源"), sources));
    layout->addStretch(1);
    return page;
}

void TSetupForm::FormCreate() {
    setFont(WindowFont());
    CreateControls();

    lbAll->clear();
    for (const QString& name : InstrumentCatalogue()) {
        lbAll->addItem(name);
        cbMonitorCurrency->addItem(name);
    }

    QString sample = QStringLiteral("【人民币黄金】");
    PadToWidth(sample, 20);
    pnlFontDemo->setText(QStringLiteral("%1 %2").arg(sample).arg(345.67, 0, 'f', 2));

    ReadSettings();
    ShowFontDemo();
    EnablePromptControls(cbAllowPrompt->isChecked());
    EnableMonitorControls(cbUseMonitor->isChecked());
    EnableProxyControls(rbManualSetProxy->isChecked());
}

void TSetupForm::ReadSettings() {
    // Without a selection file the ticker shows the default instruments, and so does the list:
    // an empty list would make OK with one instrument added drop all the others.
    lbPriceList->addItems(ReadSelectionFile(files_.CcyPath).value_or(DefaultSelection()));

    const TIniFile ini(files_.IniPath);
    seInterval->SetValue(ReadInteger(ini, keys::Interval));
    seLineSpacing->SetValue(ReadFloat(ini, keys::LineSpacing));
    // The ticker shows every mode but 0 as 红涨绿跌, and so does the dialog.
    (ReadInteger(ini, keys::ColorMode) == 0 ? rbColorMode0 : rbColorMode1)->setChecked(true);
    cbDisplayTime->setChecked(ReadBoolean(ini, keys::DisplayTime));
    cbDisplayProgressBar->setChecked(ReadBoolean(ini, keys::DisplayProgressBar));

    FontDialog = ReadFont(ini, keys::Font, DefaultQuoteFont(windowFont_));

    cbAutoAlphaBlend->setChecked(ReadBoolean(ini, keys::Alpha));
    cbNotRunWeekEnd->setChecked(ReadBoolean(ini, keys::NotRunWeekEnd));

    hkHotKey->SetHotKey(ReadHotKey(ini, keys::HotKey));
    // A key from a file written by hand is kept, but the user is told why the box would not take
    // it.
    if (hkHotKey->HotKey() != 0 && !IsGlobalHotKey(hkHotKey->HotKey()))
        hkHotKey->OnKeyTried(false);

    cbAllowPrompt->setChecked(ReadBoolean(ini, keys::AutoPrompt));
    sePromptInterval->SetValue(ReadInteger(ini, keys::PromptInterval));
    cbUseMonitor->setChecked(ReadBoolean(ini, keys::UseMonitor));

    const QString monitorCcy = ReadText(ini, keys::MonitorCcy);
    int index = 0;
    for (int i = 0; i < cbMonitorCurrency->count(); ++i) {
        if (cbMonitorCurrency->itemText(i).compare(monitorCcy, Qt::CaseInsensitive) == 0) {
            index = i;
            break;
        }
    }
    cbMonitorCurrency->setCurrentIndex(index);
    cbMonitorCurrencyChange();
    seMonitorPrice->SetValue(ReadFloat(ini, keys::MonitorPrice));
    cbAlarmSound->setChecked(ReadBoolean(ini, keys::AlarmSound));

    switch (ReadInteger(ini, keys::ProxyType)) {
        case 0:
            rbAutoDetectProxy->setChecked(true);
            break;
        case 1:
            rbNotUseProxy->setChecked(true);
            break;
        default:
            rbManualSetProxy->setChecked(true);
            break;
    }
    leProxyAddress->setText(ReadText(ini, keys::ProxyAddress));
    const QString ratesUrl = ReadText(ini, keys::RatesURL).trimmed();
    (ratesUrl.isEmpty() ? rbBuiltinSource : rbRatesURL)->setChecked(true);
    leRatesURL->setText(ratesUrl);
    leProxyPort->setText(ReadText(ini, keys::ProxyPort));
    leProxyUsername->setText(ReadText(ini, keys::ProxyUsername));
    QString password = ReadText(ini, keys::ProxyPassword);
    // A file of an older version still holds the password; it moves to the store on OK.
    // The store is asked only when there is a login, since a store that hangs costs seconds.
    if (password.isEmpty() && !leProxyUsername->text().isEmpty() && Secrets) {
        password = Secrets->Read(ProxyPasswordKey(files_.IniPath)).value_or(QString());
        passwordInStore_ = !password.isEmpty();
    }
    leProxyPassword->setText(password);
}

void TSetupForm::WriteSettings() {
    QStringList selection;
    for (int i = 0; i < lbPriceList->count(); ++i)
        selection += lbPriceList->item(i)->text();
    WriteSelectionFile(files_.CcyPath, selection);

    TIniFile ini(files_.IniPath);
    WriteInteger(ini, keys::Interval, static_cast<int>(RoundToEven(BoundedValue(seInterval))));
    WriteFloat(ini, keys::LineSpacing, BoundedValue(seLineSpacing));
    WriteInteger(ini, keys::ColorMode, rbColorMode1->isChecked() ? 1 : 0);
    WriteBoolean(ini, keys::DisplayTime, cbDisplayTime->isChecked());
    WriteBoolean(ini, keys::DisplayProgressBar, cbDisplayProgressBar->isChecked());
    WriteFont(ini, keys::Font, FontDialog);
    WriteBoolean(ini, keys::Alpha, cbAutoAlphaBlend->isChecked());
    WriteBoolean(ini, keys::NotRunWeekEnd, cbNotRunWeekEnd->isChecked());
    WriteHotKey(ini, keys::HotKey, hkHotKey->HotKey());
    WriteBoolean(ini, keys::AutoPrompt, cbAllowPrompt->isChecked());
    WriteInteger(ini, keys::PromptInterval,
                 static_cast<int>(RoundToEven(BoundedValue(sePromptInterval))));
    WriteBoolean(ini, keys::UseMonitor, cbUseMonitor->isChecked());
    WriteText(ini, keys::MonitorCcy, cbMonitorCurrency->currentText());
    WriteFloat(ini, keys::MonitorPrice, seMonitorPrice->Value());
    WriteBoolean(ini, keys::AlarmSound, cbAlarmSound->isChecked());
    WriteInteger(ini, keys::ProxyType,
                 rbManualSetProxy->isChecked() ? 2
                 : rbNotUseProxy->isChecked()  ? 1
                                               : 0);
    WriteText(ini, keys::ProxyAddress, OneLine(leProxyAddress->text()));
    WriteText(ini, keys::ProxyPort, OneLine(leProxyPort->text()));
    // An empty address is the built-in sources, whichever choice says so.
    WriteText(ini, keys::RatesURL,
              rbRatesURL->isChecked() ? OneLine(leRatesURL->text()).trimmed() : QString());
    WriteText(ini, keys::ProxyUsername, OneLine(leProxyUsername->text()));
    // The file keeps the password only where no secret store takes it.
    const QString password = OneLine(leProxyPassword->text());
    bool stored = false;
    if (Secrets) {
        const QString key = ProxyPasswordKey(files_.IniPath);
        if (!password.isEmpty())
            stored = Secrets->Write(key, password);
        else if (passwordInStore_)
            Secrets->Remove(key);
    }
    WriteText(ini, keys::ProxyPassword, stored ? QString() : password);

    // A switch that did not take is a refused write like any other: the user must not believe
    // Kestrel starts at login when it does not. With no entry and none wanted, nothing failed.
    if (shortcuts_ &&
        !SetAutostart(*shortcuts_, cbShctStartup->isChecked(),
                      QCoreApplication::applicationFilePath()) &&
        (cbShctStartup->isChecked() || AutostartEnabled(*shortcuts_)))
        throw WriteError(shortcuts_->GetSpecialFolderPath(TShortcutFolder::Startup) +
                         QLatin1String(kShortcutFileName));
}

void TSetupForm::btSelectClick() {
    for (const QListWidgetItem* item : lbAll->selectedItems())
        AddToPriceList(item->text());
}

void TSetupForm::AddToPriceList(const QString& name) {
    for (int i = 0; i < lbPriceList->count(); ++i) {
        if (lbPriceList->item(i)->text().compare(name, Qt::CaseInsensitive) == 0)
            return;
    }
    lbPriceList->addItem(name);
}

void TSetupForm::btDeleteClick() {
    for (QListWidgetItem* item : lbPriceList->selectedItems())
        delete item;
}

void TSetupForm::sbMoveUpClick() {
    for (int i = 0; i < lbPriceList->count(); ++i) {
        if (lbPriceList->item(i)->isSelected() && i > 0) {
            SwapItems(lbPriceList, i, i - 1);
            lbPriceList->setCurrentRow(i - 1);
        }
    }
}

void TSetupForm::sbMoveDownClick() {
    for (int i = lbPriceList->count() - 1; i >= 0; --i) {
        if (lbPriceList->item(i)->isSelected() && i < lbPriceList->count() - 1) {
            SwapItems(lbPriceList, i, i + 1);
            lbPriceList->setCurrentRow(i + 1);
        }
    }
}

void TSetupForm::ShowFontDemo() {
    pnlFontDemo->setFont(QFontOf(FontDialog));
    QPalette palette = pnlFontDemo->palette();
    palette.setColor(QPalette::WindowText, ColourOf(FontDialog.Color));
    pnlFontDemo->setPalette(palette);
}

void TSetupForm::btMemoFontClick() {
    FontDesc font = FontDialog;
    if (!ChooseFont || !ChooseFont(font))
        return;
    const int size = std::clamp(font.Size, kMinQuoteFontSize, kMaxQuoteFontSize);
    if (size != font.Size) {
        QMessageBox box(QMessageBox::Information, windowTitle(),
                        QStringLiteral("牌价字体不能%1于 %2 磅，已改为 %2 磅。")
                            .arg(font.Size > size ? QStringLiteral("大") : QStringLiteral("小"))
                            .arg(size),
                        QMessageBox::NoButton, this);
        box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
        box.exec();
        font.Size = size;
    }
    FontDialog = font;
    ShowFontDemo();
}

void TSetupForm::btMemoColorClick() {
    quint32 color = FontDialog.Color;
    if (ChooseColor && ChooseColor(color)) {
        FontDialog.Color = color;
        ShowFontDemo();
    }
}

void TSetupForm::cbMonitorCurrencyChange() {
    const QString name = cbMonitorCurrency->currentText();
    const bool twoDecimals = DecimalsFor(name) == 2;
    seMonitorPrice->SetDecimal(twoDecimals ? 2 : 4);
    seMonitorPrice->SetIncrement(twoDecimals ? 0.01 : 0.0001);
    seMonitorPrice->SetValue(quoteFor_ ? static_cast<double>(quoteFor_(name)) : 0.0);
}

void TSetupForm::EnableMonitorControls(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{lblMonitor1, lblMonitor2, cbMonitorCurrency,
                                                      seMonitorPrice, cbAlarmSound}) {
        w->setEnabled(on);
    }
}

void TSetupForm::EnablePromptControls(bool on) {
    sePromptInterval->setEnabled(on);
}

void TSetupForm::EnableProxyControls(bool on) {
    for (QLineEdit* edit : {leProxyAddress, leProxyPort, leProxyUsername, leProxyPassword})
        edit->setEnabled(on);
}

void TSetupForm::cbUseMonitorClick() {
    EnableMonitorControls(cbUseMonitor->isChecked());
}

void TSetupForm::cbAllowPromptClick() {
    EnablePromptControls(cbAllowPrompt->isChecked());
}

void TSetupForm::rbManualSetProxyClick() {
    EnableProxyControls(rbManualSetProxy->isChecked());
}

void TSetupForm::btnCreatShortCutClick() {
    if (!shortcuts_)
        return;
    lblShortcutResult->setText(ShortcutReport(
        CreateShortcuts(*shortcuts_, cbShctDesktop->isChecked(), cbShctQuickLaunch->isChecked(),
                        QCoreApplication::applicationFilePath())));
}

bool TSetupForm::Refuse(int page, QWidget* control, const QString& message) {
    PageControl->setCurrentIndex(page);
    control->setFocus();
    QMessageBox box(QMessageBox::Critical, windowTitle(), message, QMessageBox::NoButton, this);
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.exec();
    return false;
}

bool TSetupForm::FormCloseQuery() {
    if (hkHotKey->HotKey() == 0)
        return Refuse(1, hkHotKey, QStringLiteral("错误：弹出窗口的热键必须设置，不可以为空！"));
    // A disabled proxy keeps whatever the file held; only a proxy in use must be reachable.
    if (!rbManualSetProxy->isChecked())
        return true;
    if (!IsProxyHost(leProxyAddress->text())) {
        return Refuse(5, leProxyAddress,
                      QStringLiteral("错误：代理服务器地址须是主机名或 IP 地址，"
                                     "不带“http://”、空格或端口！"));
    }
    // An empty port stands for the usual 8080.
    if (!leProxyPort->text().isEmpty() && !IsProxyPort(leProxyPort->text())) {
        return Refuse(5, leProxyPort,
                      QStringLiteral("错误：代理服务器端口须是 1 到 65535 之间的数字！"));
    }
    return true;
}

void TSetupForm::done(int result) {
    // Cancel, Esc and the close button are never refused.
    if (result == QDialog::Accepted && !FormCloseQuery())
        return;
    QDialog::done(result);
}

bool TSetupForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pnlFontDemo && IsClickRelease(pnlFontDemo, event)) {
        btMemoFontClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kestrel
