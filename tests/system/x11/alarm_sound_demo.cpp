// Raises one alarm with the real sound player, lets it loop, presses 关闭警报 and waits a little
// more, printing when each happened, so that a recording of the sound card can be checked.
//   alarm_sound_demo WAV INI [loop-ms] [after-ms]
#include <QApplication>
#include <QDateTime>
#include <QTimer>
#include <cstdio>

#include "platform/sound.h"
#include "ui/alarm/alarmform.h"

namespace {

void Mark(const char* what) {
    std::printf("%s %lld\n", what, static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: alarm_sound_demo WAV INI [loop-ms] [after-ms]\n");
        return 2;
    }
    const int loopMs = args.size() > 3 ? args[3].toInt() : 2000;
    const int afterMs = args.size() > 4 ? args[4].toInt() : 1500;

    kestrel::SoundEffectPlayer sound;
    kestrel::TAlarmForm form(&sound, args[1], args[2]);
    form.OnAlarmClosed = [] { Mark("closed"); };

    const kestrel::AlarmSettings settings{true, QStringLiteral("现货黄金"), 1640.0L, true};
    QTimer::singleShot(0, &form, [&] {
        Mark("raised");
        form.RaiseAlarm(settings, 1642.35L);
        form.show();
    });
    QTimer::singleShot(loopMs, &form, [&] { form.Button1Click(); });
    QTimer::singleShot(loopMs + afterMs, &app, [] {
        Mark("done");
        QCoreApplication::quit();
    });
    return app.exec();
}
