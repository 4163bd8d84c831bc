// Arbitrary bytes as the settings file and the selection file: loading and reading must hold
// up, and a write must keep every other line of the file as it was.
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "settings/fonttext.h"
#include "settings/profile.h"
#include "settings/settingsload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    const QString ini = dir.filePath("fuzz.ini");
    const QString ccy = dir.filePath("fuzz.ccy");
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QString& path : {ini, ccy}) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return 0;
        f.write(bytes);
    }
    const kestrel::FontDesc windowFont{
        QStringLiteral("宋体"), 9, false, false, false, false, 0, 0, 134};
    const kestrel::Settings s = kestrel::LoadSettings(ini, ccy, windowFont, {});
    (void)kestrel::FormatSettingsReport(s);

    kestrel::TIniFile file(ini);
    (void)file.ReadBytes("Param", "ProxyUsername", {});
    const QByteArray secret("\x01\x80\xFF\"  x ", 8);
    file.WriteBytes("Param", "ProxyPassword", secret);
    if (file.ReadBytes("Param", "ProxyPassword", {}) != secret)
        std::abort();
    file.WriteFloat("Param", "MonitorPrice", 7.8912);
    if (file.ReadFloat("Param", "MonitorPrice", 0) != 7.8912)
        std::abort();
    if (file.ReadBytes("Param", "ProxyPassword", {}) != secret)
        std::abort();
    return 0;
}
