// The texts of the upgrade dialogs in 25 languages, kept in the program's string table (a
// resource of kestrel_upgrade). Every language owns a block of 50 identifiers from 41000 on; the
// process-wide LanguageBase selects the block that UpgradeText reads.
#pragma once

#include <QLocale>
#include <QString>
#include <QVariant>

namespace kestrel {

// The wizard's languages; the values are stored with the component, so the order is fixed.
enum TUpdaterLanguage {
    wlAuto,
    wlEnglish,
    wlRussian,
    wlGerman,
    wlFrench,
    wlSpanish,
    wlPortuguese,
    wlPortugueseBrazilian,
    wlItalian,
    wlDutch,
    wlDanish,
    wlSwedish,
    wlFinnish,
    wlEstonian,
    wlUkrainian,
    wlCzech,
    wlHungarian,
    wlRomanian,
    wlCatalan,
    wlBasque,
    wlAfrikaans,
    wlChineseTraditional,
    wlChineseSimplified,
    wlIndonesian,
    wlMalay,
    wlIcelandic,
};

inline constexpr int kUpgradeTextCount = 31;           // texts 0..30 of every language
inline constexpr int kStringAppTitle = 40997;          // "<AppTitle>"
inline constexpr int kStringDefaultTitleMark = 40998;  // marks an unchanged default title
inline constexpr int kStringUpdaterName = 40999;       // "Kestrel Updater"

// The language whose texts a locale gets: Portuguese of Brazil and Chinese of China (and
// Singapore, which writes Simplified too) have blocks of their own; another Chinese gets the
// Traditional texts; a language without texts gets English. Never answers wlAuto.
TUpdaterLanguage ResolveLanguage(const QLocale& locale);

// Recomputes the process-wide LanguageBase for a language; wlAuto resolves the program's own
// language when one was chosen (SetProgramLanguage), else QLocale::system(). The last call wins
// for every upgrader of the process.
void SetUpdaterLanguage(TUpdaterLanguage language);

// The language the user chose for the whole program, which the wizard's automatic choice then
// follows; wlAuto (the default) leaves it to the desktop's locale.
void SetProgramLanguage(TUpdaterLanguage language);

// 41000 + 50 × (language − 1) of the language last set (English before any call).
quint16 LanguageBase();

// The string with an identifier of the table (40997..40999, or a language's text); empty for
// an unused identifier.
QString UpgradeString(int identifier);

// The raw text LanguageBase() + i.
QString UpgradeText(int i);

// Fills a format text in the printf manner: %s text, %d integer, %.2d integer of at least two
// digits, %.1f number with one decimal, %% a percent sign. Arguments are used in order and
// converted to what the placeholder asks for; a missing argument gives an empty text or 0.
// Argument texts are inserted as they stand (a "%" inside one is not read as a placeholder).
QString FormatText(const QString& format, const QVariantList& args);

// FormatText(UpgradeText(i), args).
QString FormatUpgradeText(int i, const QVariantList& args);

// A text of the table as a Qt label shows it: the texts end lines with CR, as the old dialogs
// did, and Qt breaks lines at LF.
QString Shown(QString text);

}  // namespace kestrel
