// Texts read the way the old runtime's helpers read them, which the URL, date, version and
// command-line rules keep.
#pragma once

#include <QString>
#include <optional>

namespace kestrel {

// Integer of a text: optional sign and digits, surrounding blanks allowed; nullopt for
// anything else.
std::optional<int> ToInt(const QString& text);

// Index of the last path delimiter ("\", "/" or ":"); -1 when there is none.
qsizetype LastDelimiter(const QString& text);

// The extension with its ".", after the last delimiter; empty when there is none.
QString FileExtension(const QString& path);

}  // namespace kestrel
