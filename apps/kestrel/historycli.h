// kestrel --history: the stored minute bars of one instrument.
#pragma once

#include <QByteArray>
#include <QString>

namespace kestrel {

struct Settings;

// NAME (catalogue name, display name, the user's alias or the code, any letter case), --from
// and --to as ISO 8601 times (local when they give no offset; the last 24 hours by default),
// format text, csv or json. Exit status: 0 bars printed (perhaps none), 1 no history file yet,
// 2 a usage error or an unknown name.
int PrintHistory(const Settings& settings, const QString& path, const QString& name,
                 const QString& from, const QString& to, const QByteArray& format);

}  // namespace kestrel
