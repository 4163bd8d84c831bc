#include "ui/settings/setupform.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include <arpa/inet.h>

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
#include "ui/settings/alarmruleform.h"
#include "ui/widgets/spinedit.h"

namespace kestrel {

namespace {

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

// The built-in feeds, by the names [Sources] knows them by, with the titles traders know them by
// and the key of the address each is asked at.
struct Feed {
    const char* name;
    const char* title;
    const SettingKey* url;
};
constexpr Feed kFeeds[] = {
    {"portal", QT_TRANSLATE_NOOP("kestrel::TSetupForm", "新浪财经"), &keys::PortalURL},
    {"ecb", QT_TRANSLATE_NOOP("kestrel::TSetupForm", "欧洲央行"), &keys::EcbURL},
    {"boc", QT_TRANSLATE_NOOP("kestrel::TSetupForm", "中国银行"), &keys::BocURL},
};

const Feed& FeedNamed(const QString& name) {
    for (const Feed& feed : kFeeds) {
        if (name == QLatin1String(feed.name))
            return feed;
    }
    return kFeeds[0];
}

// A mirror is asked as the feed itself would be: an http or https address with a host, and
// nothing in it that a request line could not carry.
bool IsMirrorUrl(const QString& text) {
    if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); }))
        return false;
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") &&
           !url.host().isEmpty();
}

void SwapItems(QListWidget* list, int a, int b) {
    const QString text = list->item(a)->text();
    list->item(a)->setText(list->item(b)->text());
    list->item(b)->setText(text);
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
    QFontDialog dialog(ChooserFontOf(desc), parent);
    dialog.setWindowTitle(TSetupForm::tr("牌价字体"));
    StackAbove(&dialog, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QFont font = dialog.selectedFont();
    desc.Name = font.family();
    desc.Size = font.pointSize() > 0 ? font.pointSize()
                                     : static_cast<int>(std::lround(font.pixelSize() * 72.0 / 96));
    desc.Bold = font.bold();
    desc.Italic = font.italic();
    desc.Underline = font.underline();
    desc.StrikeOut = font.strikeOut();
    return true;
}

QString AlarmKey(qsizetype number) {
    return QLatin1String(kAlarmKeyPrefix) + QString::number(number);
}

// A key of the rules' numbering, Alarm1 or alarm07: "Alarm" and digits in any letter case.
bool IsAlarmKey(const QString& key) {
    static const QRegularExpression numbered(
        QStringLiteral("^%1[0-9]+$").arg(QLatin1String(kAlarmKeyPrefix)),
        QRegularExpression::CaseInsensitiveOption);
    return numbered.match(key).hasMatch();
}

// A row of the rule list: "欧元美元 高于 1.1000（重复）".
QString AlarmRowText(const AlarmRule& rule) {
    if (!rule.Readable)
        return TSetupForm::tr("无法读取：") + rule.Raw;
    QString text = rule.Name + u' ' + AlarmRuleText(rule) +
                   (rule.Repeat == AlarmRepeat::Once ? TSetupForm::tr("（一次）")
                                                     : TSetupForm::tr("（重复）"));
    if (rule.Demo)
        text += TSetupForm::tr("（演示行情）");
    return text;
}

bool AskAliasWithDialog(QWidget* parent, const QString& name, QString& shortName) {
    QInputDialog dialog(parent);
    StackAbove(&dialog, parent);
    dialog.setWindowTitle(TSetupForm::tr("简称"));
    dialog.setLabelText(TSetupForm::tr("“%1”的简称（最多 %2 个字符，留空则不用简称）：")
                            .arg(name)
                            .arg(kMaxAliasLength));
    dialog.setTextValue(shortName);
    dialog.setOkButtonText(TSetupForm::tr("确定"));
    dialog.setCancelButtonText(TSetupForm::tr("取消"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    shortName = dialog.textValue();
    return true;
}

bool ChooseColorWithDialog(QWidget* parent, quint32& color) {
    QColorDialog dialog(ColourOf(color), parent);
    dialog.setWindowTitle(TSetupForm::tr("牌价颜色"));
    StackAbove(&dialog, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QColor chosen = dialog.selectedColor();
    color = ColorValueOf(chosen);
    return true;
}

}  // namespace

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
    AskAlias = [this](const QString& name, QString& shortName) {
        return AskAliasWithDialog(this, name, shortName);
    };
    FormCreate();
}

void TSetupForm::FormCreate() {
    setFont(WindowFont());
    CreateControls();

    lbAll->clear();
    for (const QString& name : InstrumentCatalogue()) {
        lbAll->addItem(name);
    }
    AddInstruments(cbMonitorCurrency);

    QString sample = u'【' + ShownInstrumentName(QStringLiteral("人民币黄金")) + u'】';
    PadToWidth(sample, 20);
    pnlFontDemo->setText(QStringLiteral("%1 %2").arg(sample).arg(345.67, 0, 'f', 2));

    ReadSettings();
    ShowFontDemo();
    EnablePromptControls(cbAllowPrompt->isChecked());
    EnableMonitorControls(cbUseMonitor->isChecked());
    EnableProxyControls(rbManualSetProxy->isChecked());
    EnableSourceControls();
}

void TSetupForm::ReadSettings() {
    // Without a selection file the ticker shows the default instruments, and so does the list:
    // an empty list would make OK with one instrument added drop all the others.
    lbPriceList->addItems(ReadSelectionFile(files_.CcyPath).value_or(DefaultSelection()));

    const TIniFile ini = TIniFile::Snapshot(files_.IniPath);
    languageRead_ = cbLanguage->findData(int(ParseUiLanguage(ReadText(ini, keys::Language))));
    cbLanguage->setCurrentIndex(languageRead_);
    seInterval->SetValue(ReadInteger(ini, keys::Interval));
    seLineSpacing->SetValue(ReadFloat(ini, keys::LineSpacing));
    // The ticker shows a mode it does not know as 红涨绿跌, and so does the dialog.
    QRadioButton* const modes[] = {rbColorMode0, rbColorMode1, rbColorMode2, rbColorMode3};
    const int mode = ReadInteger(ini, keys::ColorMode);
    (mode >= 0 && mode < int(std::size(modes)) ? modes[mode] : rbColorMode1)->setChecked(true);
    cbDisplayTime->setChecked(ReadBoolean(ini, keys::DisplayTime));
    cbDisplayProgressBar->setChecked(ReadBoolean(ini, keys::DisplayProgressBar));
    cbShowChange->setChecked(ReadBoolean(ini, keys::ShowChange));
    cbShowArrows->setChecked(ReadBoolean(ini, keys::ShowArrows));
    cbShowSparkline->setChecked(ReadBoolean(ini, keys::ShowSparkline));
    for (const auto& [name, shortName] : ReadAliases(ini))
        aliasesRead_.insert(name, shortName);
    aliases_ = aliasesRead_;

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
    cbMonitorCurrency->setCurrentIndex(
        std::max(0, cbMonitorCurrency->findData(CatalogueName(monitorCcy))));
    cbMonitorCurrencyChange();
    seMonitorPrice->SetValue(ReadFloat(ini, keys::MonitorPrice));
    cbAlarmSound->setChecked(ReadBoolean(ini, keys::AlarmSound));
    cbAlarmNotify->setChecked(ReadBoolean(ini, keys::AlarmNotify));
    leAlarmCommand->setText(ReadText(ini, keys::AlarmCommand));
    ReadAlarmRules(ini);

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
    ReadSources(ini);
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

    // Every key in one replacement of the file: a save that fails or is cut short leaves the
    // old settings, never some old and some new.
    TIniFile ini(files_.IniPath);
    TIniEdit edit(ini);
    WriteInteger(edit, keys::Interval, static_cast<int>(RoundToEven(BoundedValue(seInterval))));
    if (cbLanguage->currentIndex() != languageRead_) {
        WriteText(edit, keys::Language,
                  UiLanguageText(static_cast<UiLanguage>(cbLanguage->currentData().toInt())));
    }
    WriteFloat(edit, keys::LineSpacing, BoundedValue(seLineSpacing));
    WriteInteger(edit, keys::ColorMode,
                 rbColorMode3->isChecked()   ? 3
                 : rbColorMode2->isChecked() ? 2
                 : rbColorMode1->isChecked() ? 1
                                             : 0);
    WriteBoolean(edit, keys::DisplayTime, cbDisplayTime->isChecked());
    WriteBoolean(edit, keys::DisplayProgressBar, cbDisplayProgressBar->isChecked());
    WriteBoolean(edit, keys::ShowChange, cbShowChange->isChecked());
    WriteBoolean(edit, keys::ShowArrows, cbShowArrows->isChecked());
    WriteBoolean(edit, keys::ShowSparkline, cbShowSparkline->isChecked());
    WriteFont(edit, keys::Font, FontDialog);
    WriteBoolean(edit, keys::Alpha, cbAutoAlphaBlend->isChecked());
    WriteBoolean(edit, keys::NotRunWeekEnd, cbNotRunWeekEnd->isChecked());
    WriteHotKey(edit, keys::HotKey, hkHotKey->HotKey());
    WriteBoolean(edit, keys::AutoPrompt, cbAllowPrompt->isChecked());
    WriteInteger(edit, keys::PromptInterval,
                 static_cast<int>(RoundToEven(BoundedValue(sePromptInterval))));
    WriteBoolean(edit, keys::UseMonitor, cbUseMonitor->isChecked());
    WriteText(edit, keys::MonitorCcy, InstrumentIn(cbMonitorCurrency));
    WriteFloat(edit, keys::MonitorPrice, seMonitorPrice->Value());
    WriteBoolean(edit, keys::AlarmSound, cbAlarmSound->isChecked());
    WriteBoolean(edit, keys::AlarmNotify, cbAlarmNotify->isChecked());
    WriteText(edit, keys::AlarmCommand, OneLine(leAlarmCommand->text()).trimmed());
    WriteInteger(edit, keys::ProxyType,
                 rbManualSetProxy->isChecked() ? 2
                 : rbNotUseProxy->isChecked()  ? 1
                                               : 0);
    WriteText(edit, keys::ProxyAddress, OneLine(leProxyAddress->text()));
    WriteText(edit, keys::ProxyPort, OneLine(leProxyPort->text()));
    // An empty address is the built-in sources, whichever choice says so.
    WriteText(edit, keys::RatesURL,
              rbRatesURL->isChecked() ? OneLine(leRatesURL->text()).trimmed() : QString());
    WriteSources(edit);
    WriteText(edit, keys::ProxyUsername, OneLine(leProxyUsername->text()));
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
    WriteText(edit, keys::ProxyPassword, stored ? QString() : password);
    WriteAlarmRules(edit);
    WriteAliases(edit);
    edit.Commit();

    // A switch that did not take is a refused write like any other: the user must not believe
    // Kestrel starts at login when it does not. With no entry and none wanted, nothing failed.
    if (shortcuts_ &&
        !SetAutostart(*shortcuts_, cbShctStartup->isChecked(),
                      QCoreApplication::applicationFilePath()) &&
        (cbShctStartup->isChecked() || AutostartEnabled(*shortcuts_)))
        throw WriteError(shortcuts_->GetSpecialFolderPath(TShortcutFolder::Startup) +
                         QLatin1String(kShortcutFileName));
}

void TSetupForm::ReadSources(const TIniFile& ini) {
    // The feeds in use first, in their order, then the others.
    QStringList names = ParseSourceOrder(ReadText(ini, keys::SourceOrder));
    const qsizetype used = names.size();
    sourcesRead_ = names;
    for (const Feed& feed : kFeeds) {
        if (!names.contains(QLatin1String(feed.name)))
            names << QLatin1String(feed.name);
    }
    const QSignalBlocker blocker(lbSources);
    lbSources->clear();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const Feed& feed = FeedNamed(names[i]);
        const QString url = ReadText(ini, *feed.url).trimmed();
        auto* item = new QListWidgetItem(tr(feed.title), lbSources);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(i < used ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, names[i]);
        item->setData(kMirrorRole, url == feed.url->TextDefault() ? QString() : url);
        mirrorsRead_[names[i]] = item->data(kMirrorRole).toString();
    }
    lbSources->setFixedSize(
        lbSources->sizeHintForColumn(0) + 2 * lbSources->frameWidth() + 8,
        lbSources->sizeHintForRow(0) * lbSources->count() + 2 * lbSources->frameWidth());
    lbSources->setCurrentRow(0);
    lbSourcesRowChanged();
    ShowSourceLine();
}

void TSetupForm::WriteSources(TIniEdit& edit) {
    // Only chosen feeds were checked; the others stay as they were read.
    if (!rbBuiltinSource->isChecked())
        return;
    QStringList order;
    for (int i = 0; i < lbSources->count(); ++i) {
        const QListWidgetItem* item = lbSources->item(i);
        const Feed& feed = FeedNamed(item->data(Qt::UserRole).toString());
        if (item->checkState() == Qt::Checked)
            order << QLatin1String(feed.name);
        // Without a mirror the feed is asked at its own address, whatever it becomes.
        const QString mirror = OneLine(item->data(kMirrorRole).toString()).trimmed();
        if (mirror == mirrorsRead_.value(QLatin1String(feed.name)))
            continue;
        if (mirror.isEmpty())
            edit.EraseKey(feed.url->SectionText(), feed.url->NameText());
        else
            WriteText(edit, *feed.url, mirror);
    }
    if (order == sourcesRead_)
        return;
    if (order.isEmpty())
        edit.EraseKey(keys::SourceOrder.SectionText(), keys::SourceOrder.NameText());
    else
        WriteText(edit, keys::SourceOrder, order.join(u','));
}

void TSetupForm::ShowSourceLine() {
    QStringList shown;
    for (int i = 0; i < lbSources->count(); ++i) {
        const QListWidgetItem* item = lbSources->item(i);
        if (item->checkState() != Qt::Checked)
            continue;
        // A mirror is named by its host: that is where the quotes come from.
        const QString mirror = item->data(kMirrorRole).toString().trimmed();
        const QString host = QUrl(mirror).host();
        shown << (mirror.isEmpty() ? item->text() : host.isEmpty() ? mirror : host);
    }
    rbBuiltinSource->setText(shown.isEmpty() ? tr("内置行情源")
                                             : tr("内置行情源（%1）").arg(shown.join(" + ")));
}

void TSetupForm::EnableSourceControls() {
    const bool on = rbBuiltinSource->isChecked();
    const int row = lbSources->currentRow();
    lbSources->setEnabled(on);
    sbSourceUp->setEnabled(on && row > 0);
    sbSourceDown->setEnabled(on && row >= 0 && row < lbSources->count() - 1);
    leSourceMirror->setEnabled(on && row >= 0);
}

void TSetupForm::lbSourcesRowChanged() {
    const QListWidgetItem* item = lbSources->currentItem();
    lblSourceMirror->setText(tr("%1镜像地址(&M)：").arg(item ? item->text() : QString()));
    leSourceMirror->setText(item ? item->data(kMirrorRole).toString() : QString());
    leSourceMirror->setPlaceholderText(
        item ? FeedNamed(item->data(Qt::UserRole).toString()).url->TextDefault() : QString());
    EnableSourceControls();
}

void TSetupForm::leSourceMirrorEdited() {
    if (QListWidgetItem* item = lbSources->currentItem()) {
        item->setData(kMirrorRole, leSourceMirror->text());
        ShowSourceLine();
    }
}

void TSetupForm::MoveSource(int step) {
    const int row = lbSources->currentRow();
    const int to = row + step;
    if (row < 0 || to < 0 || to >= lbSources->count())
        return;
    QListWidgetItem* item = lbSources->takeItem(row);
    lbSources->insertItem(to, item);
    lbSources->setCurrentRow(to);
    ShowSourceLine();
}

void TSetupForm::ReadAlarmRules(const TIniFile& ini) {
    // As the loader reads them: from Alarm1 up to the first missing number.
    const QString section = QString::fromLatin1(kAlarmsSection);
    const QStringList present = ini.ReadKeys(section);
    int unreadable = 0;
    for (qsizetype number = 1; present.contains(AlarmKey(number), Qt::CaseInsensitive); ++number) {
        const QString key = AlarmKey(number);
        const QString text = ini.ReadString(section, key, {});
        const AlarmRule rule = ParseAlarmLine(key, text);
        unreadable += rule.Readable ? 0 : 1;
        alarmRows_.append({rule, text, ini.ReadBytes(section, key, {})});
        AddAlarmRow(int(number - 1), rule);
    }
    if (unreadable > 0) {
        lblAlarmsUnreadable->setText(
            tr("有 %n 行警报规则无法读取，将原样保留，不能编辑。", nullptr, unreadable));
    }
    lblAlarmsUnreadable->setVisible(unreadable > 0);
    EnableAlarmButtons();
}

void TSetupForm::WriteAlarmRules(TIniEdit& edit) {
    const QString section = QString::fromLatin1(kAlarmsSection);
    QStringList written;
    for (qsizetype i = 0; i < alarmRows_.size(); ++i) {
        const AlarmRow& row = alarmRows_[i];
        const QString key = AlarmKey(i + 1);
        written += key;
        if (!row.rule.Readable) {
            // Renumbered, the line moves as its bytes were; in its place it stays untouched.
            if (key != row.rule.Key)
                edit.WriteBytes(section, key, row.bytes);
            continue;
        }
        AlarmRule rule = row.rule;
        rule.Enabled = lbAlarms->item(int(i))->checkState() == Qt::Checked;
        const QString line = FormatAlarmLine(rule);
        if (key != row.rule.Key || line != row.text)
            edit.WriteString(section, key, line);
    }
    // The rules of a longer list, and numbers after a gap, which the loader never reads.
    for (const QString& key : TIniFile(files_.IniPath).ReadKeys(section)) {
        if (IsAlarmKey(key) && !written.contains(key, Qt::CaseInsensitive))
            edit.EraseKey(section, key);
    }
}

void TSetupForm::WriteAliases(TIniEdit& edit) {
    // Only the short names changed here, of instruments still selected; any other line of
    // [Aliases] stays as it is.
    const QString section = QString::fromLatin1(kAliasesSection);
    for (int i = 0; i < lbPriceList->count(); ++i) {
        const QString name = CatalogueName(lbPriceList->item(i)->text());
        const QString shortName = aliases_.value(name);
        if (name.isEmpty() || shortName == aliasesRead_.value(name))
            continue;
        if (shortName.isEmpty())
            edit.EraseKey(section, name);
        else
            edit.WriteString(section, name, shortName);
    }
}

QString TSetupForm::AliasOf(const QString& name) const {
    return aliases_.value(CatalogueName(name));
}

void TSetupForm::btAliasClick() {
    const QListWidgetItem* item = lbPriceList->currentItem();
    const QString name = item ? CatalogueName(item->text()) : QString();
    QString shortName = aliases_.value(name);
    if (name.isEmpty() || !AskAlias || !AskAlias(name, shortName))
        return;
    shortName = OneLine(shortName).trimmed();
    if (shortName.toUcs4().size() > kMaxAliasLength) {
        Refuse(0, lbPriceList, tr("错误：简称不能超过 %1 个字符！").arg(kMaxAliasLength));
        return;
    }
    if (!shortName.isEmpty() && !IsUsableAlias(shortName)) {
        Refuse(0, lbPriceList, tr("错误：简称不能含控制字符！"));
        return;
    }
    aliases_.insert(name, shortName);
    lbPriceList->viewport()->update();
}

void TSetupForm::AddAlarmRow(int row, const AlarmRule& rule) {
    auto* item = new QListWidgetItem(AlarmRowText(rule));
    if (rule.Readable) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(rule.Enabled ? Qt::Checked : Qt::Unchecked);
    }
    lbAlarms->insertItem(row, item);
}

void TSetupForm::EnableAlarmButtons() {
    const int row = lbAlarms->currentRow();
    const bool any = row >= 0 && row < alarmRows_.size();
    btAlarmEdit->setEnabled(any && alarmRows_[row].rule.Readable);
    btAlarmDelete->setEnabled(any);
}

void TSetupForm::btAlarmAddClick() {
    TAlarmRuleForm form(AlarmRule{}, this);
    StackAbove(&form, this);
    if (form.exec() != QDialog::Accepted)
        return;
    alarmRows_.append({form.Rule(), {}, {}});
    AddAlarmRow(lbAlarms->count(), form.Rule());
    lbAlarms->setCurrentRow(lbAlarms->count() - 1);
}

void TSetupForm::btAlarmEditClick() {
    const int row = lbAlarms->currentRow();
    if (row < 0 || !alarmRows_[row].rule.Readable)
        return;
    AlarmRule rule = alarmRows_[row].rule;
    rule.Enabled = lbAlarms->item(row)->checkState() == Qt::Checked;
    TAlarmRuleForm form(rule, this);
    StackAbove(&form, this);
    if (form.exec() != QDialog::Accepted)
        return;
    alarmRows_[row].rule = form.Rule();
    lbAlarms->item(row)->setText(AlarmRowText(form.Rule()));
    lbAlarms->item(row)->setCheckState(form.Rule().Enabled ? Qt::Checked : Qt::Unchecked);
}

void TSetupForm::btAlarmDeleteClick() {
    const int row = lbAlarms->currentRow();
    if (row < 0)
        return;
    // The list moves its current row while the item goes, with the rows as they were.
    delete lbAlarms->takeItem(row);
    alarmRows_.removeAt(row);
    EnableAlarmButtons();
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
                        (font.Size > size ? tr("牌价字体不能大于 %1 磅，已改为 %1 磅。")
                                          : tr("牌价字体不能小于 %1 磅，已改为 %1 磅。"))
                            .arg(size),
                        QMessageBox::NoButton, this);
        StackAbove(&box, this);
        box.addButton(tr("确定"), QMessageBox::AcceptRole);
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
    const QString name = InstrumentIn(cbMonitorCurrency);
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
    StackAbove(&box, this);
    box.addButton(tr("确定"), QMessageBox::AcceptRole);
    box.exec();
    return false;
}

bool TSetupForm::FormCloseQuery() {
    if (hkHotKey->HotKey() == 0)
        return Refuse(1, hkHotKey, tr("错误：弹出窗口的热键必须设置，不可以为空！"));
    // The feeds are only checked while they are chosen; otherwise they stay as they were read.
    if (rbBuiltinSource->isChecked()) {
        bool any = false;
        for (int i = 0; i < lbSources->count(); ++i) {
            const QListWidgetItem* item = lbSources->item(i);
            any = any || item->checkState() == Qt::Checked;
            const QString mirror = item->data(kMirrorRole).toString().trimmed();
            if (!mirror.isEmpty() && !IsMirrorUrl(mirror)) {
                lbSources->setCurrentRow(i);
                return Refuse(5, leSourceMirror,
                              tr("错误：镜像地址须是以 http:// 或 https:// "
                                 "开头的网址，不可含空格！"));
            }
        }
        if (!any)
            return Refuse(5, lbSources, tr("错误：请至少勾选一个内置行情源！"));
    }
    // A disabled proxy keeps whatever the file held; only a proxy in use must be reachable.
    if (!rbManualSetProxy->isChecked())
        return true;
    if (!IsProxyHost(leProxyAddress->text())) {
        return Refuse(5, leProxyAddress,
                      tr("错误：代理服务器地址须是主机名或 IP 地址，"
                         "不带“http://”、空格或端口！"));
    }
    // An empty port stands for the usual 8080.
    if (!leProxyPort->text().isEmpty() && !IsProxyPort(leProxyPort->text())) {
        return Refuse(5, leProxyPort, tr("错误：代理服务器端口须是 1 到 65535 之间的数字！"));
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
