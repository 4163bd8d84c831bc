// Looping a wave file while an alarm is raised.
#pragma once

#include <QString>
#include <memory>

class QSoundEffect;

namespace kestrel {

class ISoundPlayer {
public:
    virtual ~ISoundPlayer() = default;
    // Plays the file over and over until Stop(); a sound already playing is replaced, so the
    // new one starts from the beginning. A missing or unplayable file, or a machine without an
    // audio device, plays nothing and reports nothing.
    virtual void PlayLoop(const QString& wavPath) = 0;
    // Silences whatever is playing; harmless when nothing is.
    virtual void Stop() = 0;
};

// The desktop's audio service through Qt Multimedia. Lives on the GUI thread.
class SoundEffectPlayer : public ISoundPlayer {
public:
    SoundEffectPlayer();
    ~SoundEffectPlayer() override;
    SoundEffectPlayer(const SoundEffectPlayer&) = delete;
    SoundEffectPlayer& operator=(const SoundEffectPlayer&) = delete;

    void PlayLoop(const QString& wavPath) override;
    void Stop() override;

private:
    std::unique_ptr<QSoundEffect> effect_;
};

}  // namespace kestrel
