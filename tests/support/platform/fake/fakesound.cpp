#include "platform/fake/fakesound.h"

namespace kestrel {

void FakeSoundPlayer::PlayLoop(const QString& wavPath) {
    Playing = wavPath;
    Requests << QStringLiteral("play ") + wavPath;
}

void FakeSoundPlayer::Stop() {
    Playing.clear();
    Requests << QStringLiteral("stop");
}

}  // namespace kestrel
