#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include "platform/sound.h"

using namespace kestrel;

namespace {

// A tenth of a second of silence: 8 kHz, mono, 16 bit.
QByteArray SilentWav() {
    const QByteArray samples(1600, '\0');
    QByteArray wav("RIFF....WAVEfmt ");
    auto put32 = [&wav](quint32 v) {
        wav.append(4, '\0');
        qToLittleEndian(v, wav.data() + wav.size() - 4);
    };
    auto put16 = [&wav](quint16 v) {
        wav.append(2, '\0');
        qToLittleEndian(v, wav.data() + wav.size() - 2);
    };
    put32(16);
    put16(1);
    put16(1);
    put32(8000);
    put32(16000);
    put16(2);
    put16(16);
    wav.append("data");
    put32(samples.size());
    wav.append(samples);
    qToLittleEndian<quint32>(wav.size() - 8, wav.data() + 4);
    return wav;
}

}  // namespace

class TestSound : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // No audio server: the player must cope, and no test may start one or be heard.
        qputenv("PULSE_SERVER", "unix:/nonexistent/kestrel-test");
        qputenv("PULSE_RUNTIME_PATH", "/nonexistent/kestrel-test");
    }

    // A build or package that leaves the module out would silence every alarm without a word.
    void theModuleIsFoundBesideTheProgram() {
        QVERIFY(QFile::exists(ModuleFolder() + QStringLiteral("/kestrel-sound.so")));
        QVERIFY(LoadSoundModule(ModuleFolder()) != nullptr);
    }

    void withoutAModuleOrADeviceAlarmsAreSilent_data() {
        QTest::addColumn<QString>("module");  // what kestrel-sound.so holds; null: no file
        QTest::newRow("no module") << QString();
        QTest::newRow("not a library") << QStringLiteral("RIFF not an ELF file");
        QTest::newRow("the module, no audio device") << QStringLiteral("*");
    }
    void withoutAModuleOrADeviceAlarmsAreSilent() {
        QFETCH(QString, module);
        QTemporaryDir dir;
        QString folder = dir.path();
        if (module == QLatin1String("*")) {
            folder = ModuleFolder();
        } else if (!module.isNull()) {
            QFile file(dir.filePath(QStringLiteral("kestrel-sound.so")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(module.toUtf8());
        }
        const QString wav = dir.filePath(QStringLiteral("alarm.wav"));
        QFile wavFile(wav);
        QVERIFY(wavFile.open(QIODevice::WriteOnly));
        wavFile.write(SilentWav());
        wavFile.close();
        SoundEffectPlayer player(folder);
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 3; ++i) {
            player.PlayLoop(i == 1 ? dir.filePath(QStringLiteral("missing.wav")) : wav);
            QTest::qWait(50);
            player.Stop();
        }
        QVERIFY2(clock.elapsed() < 5000, "the GUI thread waited for the sound");
    }
};

QTEST_MAIN(TestSound)
#include "test_sound.moc"
