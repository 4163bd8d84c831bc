// The settings dialog: every setting of the settings file and the instrument selection, on six
// pages. It reads both files when it opens and writes them back only when the main window asks
// it to after OK; it never changes the running ticker itself.
#pragma once

#include <QDialog>
#include <QHash>
#include <QList>
#include <functional>

#include "alarm/alarmrule.h"
#include "platform/programfiles.h"
#include "platform/secretstore.h"
#include "settings/fonttext.h"
#include "ui/widgets/hotkeyedit.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;

namespace kestrel {

class IShortcutService;
class TIniEdit;
class TIniFile;
class TSpinEdit;

class TSetupForm : public QDialog {
    Q_OBJECT
public:
    // windowFont: the main window's current font, the base of the default quote font.
    // quoteFor: the current price of an instrument in the last page downloaded, 0 for none.
    // shortcuts: where the shortcut button creates its shortcuts (none: the button does nothing).
    TSetupForm(const ProgramFiles& files, const FontDesc& windowFont,
               std::function<long double(const QString&)> quoteFor, IShortcutService* shortcuts,
               QWidget* parent = nullptr);

    // Writes the selection file, then the settings file (the alarm rules as Alarm1 to AlarmN in
    // the list's order, any other numbered key of [Alarms] removed), then creates or removes the
    // autostart entry. Throws CreateFileError when the selection file is refused (the settings
    // file is then not touched) and WriteError when the settings file is (keys after the refused
    // one are not written) or when the autostart entry cannot be made or removed.
    void WriteSettings();

    // The quote font chosen so far, as the font chooser holds it.
    FontDesc FontDialog;

    QTabWidget* PageControl = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    // "显示币种"
    QListWidget* lbAll = nullptr;
    QPushButton* btSelect = nullptr;
    QPushButton* btDelete = nullptr;
    // Each row's text is the instrument's name as the selection file holds it; a short name of
    // [Aliases] is shown after it, "欧元美元（欧美）", but is not part of the text.
    QListWidget* lbPriceList = nullptr;
    QToolButton* sbMoveUp = nullptr;
    QToolButton* sbMoveDown = nullptr;
    QPushButton* btAlias = nullptr;  // the short name of the selected row
    // "常规选项"
    TSpinEdit* seInterval = nullptr;
    QCheckBox* cbDisplayTime = nullptr;
    QCheckBox* cbDisplayProgressBar = nullptr;
    QCheckBox* cbAutoAlphaBlend = nullptr;
    QCheckBox* cbNotRunWeekEnd = nullptr;
    THotKey* hkHotKey = nullptr;
    QLabel* lblHotKeyHint = nullptr;  // why a key was refused
    // "字体显示"
    QLabel* pnlFontDemo = nullptr;
    QPushButton* btMemoFont = nullptr;
    QPushButton* btMemoColor = nullptr;
    QGroupBox* rgColorMode = nullptr;
    QRadioButton* rbColorMode0 = nullptr;  // 红跌绿涨
    QRadioButton* rbColorMode1 = nullptr;  // 红涨绿跌
    QRadioButton* rbColorMode2 = nullptr;  // 蓝涨橙跌
    QRadioButton* rbColorMode3 = nullptr;  // 低调: nothing coloured
    QCheckBox* cbShowChange = nullptr;
    QCheckBox* cbShowArrows = nullptr;
    QCheckBox* cbShowSparkline = nullptr;
    TSpinEdit* seLineSpacing = nullptr;
    // "快捷方式"
    QCheckBox* cbShctStartup = nullptr;
    QCheckBox* cbShctDesktop = nullptr;
    QCheckBox* cbShctQuickLaunch = nullptr;
    QPushButton* btnCreatShortCut = nullptr;
    QLabel* lblShortcutResult = nullptr;  // what the last press made
    // "提示警报"
    QCheckBox* cbAllowPrompt = nullptr;
    TSpinEdit* sePromptInterval = nullptr;
    QCheckBox* cbUseMonitor = nullptr;
    QLabel* lblMonitor1 = nullptr;
    QComboBox* cbMonitorCurrency = nullptr;
    // Param/Language, as UiLanguage values; written only when changed.
    QComboBox* cbLanguage = nullptr;
    int languageRead_ = 0;
    QLabel* lblMonitor2 = nullptr;
    TSpinEdit* seMonitorPrice = nullptr;
    QCheckBox* cbAlarmSound = nullptr;
    // The rules of [Alarms], one row each in the file's order; a row's check box is the rule's
    // on/off state. Unreadable lines are listed, kept and written back, but cannot be changed.
    QListWidget* lbAlarms = nullptr;
    QPushButton* btAlarmAdd = nullptr;
    QPushButton* btAlarmEdit = nullptr;
    QPushButton* btAlarmDelete = nullptr;
    QLabel* lblAlarmsUnreadable = nullptr;  // how many lines could not be read, when any
    QCheckBox* cbAlarmNotify = nullptr;
    QLineEdit* leAlarmCommand = nullptr;
    // "网络设置"
    QRadioButton* rbAutoDetectProxy = nullptr;
    QRadioButton* rbNotUseProxy = nullptr;
    QRadioButton* rbManualSetProxy = nullptr;
    QLineEdit* leProxyAddress = nullptr;
    QLineEdit* leProxyPort = nullptr;
    QLineEdit* leProxyUsername = nullptr;
    QLineEdit* leProxyPassword = nullptr;
    QRadioButton* rbBuiltinSource = nullptr;  // names the feeds chosen, in their order
    // The built-in feeds in the order they are asked, a row checked for each one in use. A
    // row's text is the feed's title; its data the name [Sources] knows it by, and under
    // kMirrorRole the mirror it is asked at instead of its own address ("" for none).
    QListWidget* lbSources = nullptr;
    QToolButton* sbSourceUp = nullptr;
    QToolButton* sbSourceDown = nullptr;
    QLabel* lblSourceMirror = nullptr;    // names the selected row's feed
    QLineEdit* leSourceMirror = nullptr;  // the mirror of the selected row
    static constexpr int kMirrorRole = Qt::UserRole + 1;
    QRadioButton* rbRatesURL = nullptr;
    QLineEdit* leRatesURL = nullptr;

    // Handlers.
    void btSelectClick();
    void btDeleteClick();
    void sbMoveUpClick();
    void sbMoveDownClick();
    void AddToPriceList(const QString& name);
    void btAliasClick();
    void btMemoFontClick();
    void btMemoColorClick();
    void cbMonitorCurrencyChange();
    void cbUseMonitorClick();
    void cbAllowPromptClick();
    void rbManualSetProxyClick();
    // Moves the selected feed one row up (-1) or down (1).
    void MoveSource(int step);
    void lbSourcesRowChanged();
    void leSourceMirrorEdited();
    void btnCreatShortCutClick();
    // Each opens the rule dialog (TAlarmRuleForm) modally.
    void btAlarmAddClick();
    void btAlarmEditClick();
    void btAlarmDeleteClick();

    // Where the proxy password is kept instead of the settings file; none: in the file.
    ISecretStore* Secrets = InstalledSecretStore();

    // The choosers, replaceable so that tests need no one at the keyboard: each gets the
    // current choice and returns true with the new one, false when the user cancels.
    std::function<bool(FontDesc&)> ChooseFont;
    std::function<bool(quint32&)> ChooseColor;
    // Gets the instrument's name and its current short name ("" for none) and returns true with
    // the new one ("" removes it), false when the user cancels.
    std::function<bool(const QString&, QString&)> AskAlias;

    // The short name shown for a name of the selection list; empty when it has none.
    QString AliasOf(const QString& name) const;

    // Allows OK only with a hot key set; otherwise shows the error on page "常规选项".
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    QWidget* CreateSelectionPage();
    QWidget* CreateGeneralPage();
    QWidget* CreateFontPage();
    QWidget* CreateShortcutPage();
    QWidget* CreatePromptPage();
    QWidget* CreateProxyPage();
    void FormCreate();
    void ReadSettings();
    bool FormCloseQuery();
    bool Refuse(int page, QWidget* control, const QString& message);
    void EnableMonitorControls(bool on);
    void EnablePromptControls(bool on);
    void EnableProxyControls(bool on);
    void EnableSourceControls();
    void ShowSourceLine();
    void ReadSources(const TIniFile& ini);
    void WriteSources(TIniEdit& edit);
    void ShowFontDemo();
    void ReadAlarmRules(const TIniFile& ini);
    void WriteAlarmRules(TIniEdit& edit);
    void AddAlarmRow(int row, const AlarmRule& rule);
    void EnableAlarmButtons();
    void WriteAliases(TIniEdit& edit);

    ProgramFiles files_;
    FontDesc windowFont_;
    std::function<long double(const QString&)> quoteFor_;
    IShortcutService* shortcuts_;
    bool passwordInStore_ = false;  // the password shown came from the secret store

    // A row of lbAlarms: the rule, and for one read from the file its key (in the rule), its
    // text and its bytes as stored, so that what did not change is written back as it was.
    struct AlarmRow {
        AlarmRule rule;
        QString text;
        QByteArray bytes;
    };
    QList<AlarmRow> alarmRows_;
    // Short names by the catalogue's spelling of the instrument: as read, and as edited since.
    QHash<QString, QString> aliasesRead_;
    QHash<QString, QString> aliases_;
    // The feeds in use and the mirrors as read: what did not change is not written.
    QStringList sourcesRead_;
    QHash<QString, QString> mirrorsRead_;
};

}  // namespace kestrel
