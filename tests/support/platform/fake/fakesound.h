// A sound player for tests: remembers what it was asked to do and plays nothing.
#pragma once

#include <QString>
#include <QStringList>

#include "platform/sound.h"

namespace kestrel {

class FakeSoundPlayer : public ISoundPlayer {
public:
    void PlayLoop(const QString& wavPath) override;
    void Stop() override;

    // True between a PlayLoop and the next Stop.
    bool IsPlaying() const { return !Playing.isEmpty(); }

    // The file looping now, empty when silent.
    QString Playing;
    // Every request in order: "play <path>" or "stop".
    QStringList Requests;
};

}  // namespace kestrel
