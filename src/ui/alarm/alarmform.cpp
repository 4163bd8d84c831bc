#include "ui/alarm/alarmform.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/fonts.h"
#include "platform/sound.h"
#include "settings/profile.h"
#include "ui/errorreport.h"

namespace kestrel {

TAlarmForm::TAlarmForm(ISoundPlayer* sound, const QString& wavPath, const QString& iniPath,
                       QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      sound_(sound),
      wavPath_(wavPath),
      iniPath_(iniPath) {
    setWindowTitle(tr("到达警报价格"));
    setFont(WindowFont());
    // It comes up while the user may be typing elsewhere: in front, but without the keyboard.
    setAttribute(Qt::WA_ShowWithoutActivating);

    Image1 = new QLabel(this);
    Image1->setFixedSize(32, 32);
    Image1->setPixmap(QIcon(QStringLiteral(":/alarm/alarm.svg")).pixmap(32, 32));

    Label1 = new QLabel(tr("您设置的警报价格"), this);

    lblAlarmPrice = new QLabel(QStringLiteral("0.0000"), this);
    QFont priceFont(QStringLiteral("Tahoma"));
    priceFont.setPixelSize(16);
    priceFont.setBold(true);
    lblAlarmPrice->setFont(priceFont);
    QPalette pricePalette = lblAlarmPrice->palette();
    pricePalette.setColor(QPalette::WindowText, Qt::red);
    lblAlarmPrice->setPalette(pricePalette);

    Label2 = new QLabel(tr("已经达到！"), this);

    mmAlarmInfo = new QPlainTextEdit(this);
    mmAlarmInfo->setReadOnly(true);
    mmAlarmInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Room for a handful of lines "2012-05-02 09:30:15 【美元人民币】 6.3012", with the rule
    // after it when one of [Alarms] fired, without wrapping.
    const QFontMetrics metrics(font());
    mmAlarmInfo->setMinimumSize(metrics.horizontalAdvance(QStringLiteral(
                                    "0000-00-00 00:00:00 【美元指数人民币】 0000.0000  "
                                    "1440分钟内波动 ≥ 0.5%")) +
                                    40,
                                metrics.lineSpacing() * 7);

    Button1 = new QPushButton(tr("关闭警报"), this);
    Button1->setMinimumWidth(Button1->sizeHint().width() + 24);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    auto* topLine = new QHBoxLayout;
    topLine->setSpacing(6);
    topLine->addWidget(Image1);
    topLine->addSpacing(6);
    topLine->addWidget(Label1);
    topLine->addWidget(lblAlarmPrice);
    topLine->addWidget(Label2);
    topLine->addStretch(1);

    auto* buttonLine = new QHBoxLayout;
    buttonLine->addStretch(1);
    buttonLine->addWidget(Button1);
    buttonLine->addStretch(1);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(12, 12, 12, 12);
    form->setSpacing(10);
    form->addLayout(topLine);
    form->addWidget(mmAlarmInfo);
    form->addLayout(buttonLine);
    // A fixed border that still fits whatever the CJK font measures.
    form->setSizeConstraint(QLayout::SetFixedSize);
    form->activate();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.center() - QPoint(width() / 2, height() / 2));
    }

    tmTime = new QTimer(this);
    tmTime->setInterval(1000);
    connect(tmTime, &QTimer::timeout, this, [this] { tmTimeTimer(); });
    tmTime->start();
}

void TAlarmForm::RaiseAlarm(const AlarmSettings& settings, long double MonitorQuote) {
    mmAlarmInfo->appendPlainText(
        AlarmLine(QDateTime::currentDateTime(), settings.MonitorCcy, MonitorQuote));
    lblAlarmPrice->setText(AlarmPriceText(settings.MonitorCcy, settings.MonitorPrice));
    Play(settings.AlarmSound);
}

void TAlarmForm::RaiseRule(const AlarmFiring& firing, bool sound) {
    const AlarmRule& rule = firing.Rule;
    mmAlarmInfo->appendPlainText(AlarmLine(firing.At.toLocalTime(), rule.Name, firing.Tick.Price) +
                                 QStringLiteral("  ") + AlarmRuleText(rule));
    const bool priceRule = rule.Kind == AlarmKind::Cross || rule.Kind == AlarmKind::Above ||
                           rule.Kind == AlarmKind::Below;
    lblAlarmPrice->setText(priceRule ? AlarmPriceText(rule.Name, rule.Value) : AlarmRuleText(rule));
    Play(sound);
}

void TAlarmForm::Play(bool sound) {
    // Looked up at every alarm: the user may drop the file beside the program at any time.
    if (sound && QFileInfo(wavPath_).isFile()) {
        sound_->PlayLoop(wavPath_);
        SetSounding(true);
    }
}

void TAlarmForm::Silence() {
    sound_->Stop();
    SetSounding(false);
}

void TAlarmForm::SetSounding(bool sounding) {
    if (sounding == sounding_)
        return;
    sounding_ = sounding;
    if (OnSoundingChanged)
        OnSoundingChanged(sounding);
}

void TAlarmForm::Button1Click() {
    if (OnAlarmClosed)
        OnAlarmClosed();
    mmAlarmInfo->clear();
    Silence();
    hide();
    // MonitorCcy and MonitorPrice stay stored, so the settings dialog offers the same alarm again.
    try {
        TIniFile(iniPath_).WriteBool(QStringLiteral("Param"), QStringLiteral("UseMonitor"), false);
    } catch (const WriteError& e) {
        // Every closed alarm tries again; a folder that refuses is told once.
        ReportErrorOnce(QString::fromUtf8(e.what()));
    }
}

void TAlarmForm::tmTimeTimer() {
    if (!isVisible())
        return;
    raise();
}

}  // namespace kestrel
