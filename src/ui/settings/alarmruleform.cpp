#include "ui/settings/alarmruleform.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "platform/fonts.h"
#include "quotes/catalogue.h"
#include "text/numbertext.h"

namespace kestrel {

namespace {

constexpr int kMaxWindowMinutes = 24 * 60;
constexpr int kDefaultWindowMinutes = 15;

bool IsPriceKind(AlarmKind kind) {
    return kind == AlarmKind::Cross || kind == AlarmKind::Above || kind == AlarmKind::Below;
}

// The catalogue's spelling of a name typed in any letter case; empty when it knows none.
QString CatalogueName(const QString& typed) {
    for (const QString& name : InstrumentCatalogue()) {
        if (name.compare(typed, Qt::CaseInsensitive) == 0)
            return name;
    }
    return {};
}

}  // namespace

void AddInstruments(QComboBox* box) {
    for (const QString& name : InstrumentCatalogue())
        box->addItem(ShownInstrumentName(name), name);
}

QString InstrumentIn(const QComboBox* box) {
    const QString typed = box->currentText().trimmed();
    const int row = box->findText(typed, Qt::MatchFixedString);
    return row >= 0 ? box->itemData(row).toString() : CatalogueName(typed);
}

void StackAbove(QWidget* dialog, const QWidget* owner) {
    dialog->setWindowFlag(Qt::WindowStaysOnTopHint,
                          owner->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TAlarmRuleForm::TAlarmRuleForm(const AlarmRule& rule, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      rule_(rule) {
    setFont(WindowFont());
    setWindowTitle(tr("警报规则"));

    cbInstrument = new QComboBox;
    cbInstrument->setEditable(true);
    // A typed name is taken as typed, never added to the list.
    cbInstrument->setInsertPolicy(QComboBox::NoInsert);
    cbInstrument->setMaxVisibleItems(16);
    AddInstruments(cbInstrument);
    cbKind = new QComboBox;
    cbKind->addItem(tr("穿越"), int(AlarmKind::Cross));
    cbKind->addItem(tr("高于"), int(AlarmKind::Above));
    cbKind->addItem(tr("低于"), int(AlarmKind::Below));
    cbKind->addItem(tr("涨跌幅"), int(AlarmKind::ChangePct));
    cbKind->addItem(tr("短时波动"), int(AlarmKind::MovePct));
    lblValue = new QLabel;
    leValue = new QLineEdit;
    leMinutes = new QLineEdit;
    leMinutes->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,4}")), this));
    cbRepeat = new QComboBox;
    cbRepeat->addItem(tr("一次"), int(AlarmRepeat::Once));
    cbRepeat->addItem(tr("重复"), int(AlarmRepeat::Rearm));
    connect(cbKind, &QComboBox::currentIndexChanged, this, &TAlarmRuleForm::cbKindChange);

    auto* fields = new QGridLayout;
    const auto addRow = [fields](int row, QLabel* label, QWidget* control) {
        label->setBuddy(control);
        fields->addWidget(label, row, 0);
        fields->addWidget(control, row, 1);
    };
    addRow(0, new QLabel(tr("货币或商品：")), cbInstrument);
    addRow(1, new QLabel(tr("条件：")), cbKind);
    addRow(2, lblValue, leValue);
    addRow(3, new QLabel(tr("时间窗口（分钟）：")), leMinutes);
    addRow(4, new QLabel(tr("报警次数：")), cbRepeat);
    fields->setColumnMinimumWidth(1, 160);

    btOk = new QPushButton(tr("确定"));
    btOk->setDefault(true);
    btCancel = new QPushButton(tr("取消"));
    connect(btOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // A rule read from the file shows its name as stored, known to the catalogue or not.
    const int known = cbInstrument->findData(CatalogueName(rule.Name));
    if (known >= 0)
        cbInstrument->setCurrentIndex(known);
    else if (!rule.Name.isEmpty())
        cbInstrument->setEditText(rule.Name);
    cbKind->setCurrentIndex(cbKind->findData(int(rule.Kind)));
    cbRepeat->setCurrentIndex(cbRepeat->findData(int(rule.Repeat)));
    if (rule.Value > 0)
        leValue->setText(QString::number(static_cast<double>(rule.Value), 'g', 15));
    leMinutes->setText(QString::number(rule.Minutes > 0 ? rule.Minutes : kDefaultWindowMinutes));
    cbKindChange();
}

void TAlarmRuleForm::cbKindChange() {
    const auto kind = static_cast<AlarmKind>(cbKind->currentData().toInt());
    lblValue->setText(IsPriceKind(kind) ? tr("价格：") : tr("幅度（%）："));
    leMinutes->setEnabled(kind == AlarmKind::MovePct);
}

bool TAlarmRuleForm::Refuse(QWidget* control, const QString& message) {
    control->setFocus();
    QMessageBox box(QMessageBox::Critical, windowTitle(), message, QMessageBox::NoButton, this);
    StackAbove(&box, this);
    box.addButton(tr("确定"), QMessageBox::AcceptRole);
    box.exec();
    return false;
}

bool TAlarmRuleForm::TakeControls() {
    AlarmRule rule = rule_;
    rule.Name = InstrumentIn(cbInstrument);
    if (rule.Name.isEmpty()) {
        return Refuse(cbInstrument, tr("错误：请从列表中选择货币或商品，“%1”不在其中！")
                                        .arg(cbInstrument->currentText().trimmed()));
    }
    rule.Kind = static_cast<AlarmKind>(cbKind->currentData().toInt());
    rule.Repeat = static_cast<AlarmRepeat>(cbRepeat->currentData().toInt());
    const QString valueMessage = IsPriceKind(rule.Kind) ? tr("错误：报警价格须是大于 0 的数字！")
                                                        : tr("错误：报警幅度须是大于 0 的数字！");
    const std::optional<double> value = PlainNumberValue(leValue->text());
    if (!value || !(*value > 0))
        return Refuse(leValue, valueMessage);
    rule.Value = *value;
    rule.Minutes = 0;
    if (rule.Kind == AlarmKind::MovePct) {
        const std::optional<qint64> minutes =
            ToWholeNumber(leMinutes->text(), 1, kMaxWindowMinutes);
        if (!minutes) {
            return Refuse(leMinutes,
                          tr("错误：时间窗口须是 1 到 %1 之间的分钟数！").arg(kMaxWindowMinutes));
        }
        rule.Minutes = static_cast<int>(*minutes);
    }
    // What the line cannot give back (a value too small for its digits) is no rule either.
    if (!ParseAlarmLine(rule.Key, FormatAlarmLine(rule)).Readable)
        return Refuse(leValue, valueMessage);
    rule_ = rule;
    return true;
}

void TAlarmRuleForm::done(int result) {
    // Cancel, Esc and the close button are never refused.
    if (result == QDialog::Accepted && !TakeControls())
        return;
    QDialog::done(result);
}

}  // namespace kestrel
