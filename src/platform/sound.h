// Looping a wave file while an alarm is raised.
#pragma once

#include <QString>
#include <memory>

#include "platform/modules.h"

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

// The player of the sound module (kestrel-sound.so) in the folder; nullptr when there is no
// module there or it cannot be loaded.
std::unique_ptr<ISoundPlayer> LoadSoundModule(const QString& folder);

// The desktop's audio service through Qt Multimedia, which lives in the sound module: it is
// loaded the first time a sound plays, so that a start without an alarm never pays for Qt
// Multimedia and the audio server's client. Without the module every sound is silent, as on a
// machine without an audio device. Lives on the GUI thread.
class SoundEffectPlayer : public ISoundPlayer {
public:
    explicit SoundEffectPlayer(QString moduleFolder = ModuleFolder());
    ~SoundEffectPlayer() override;
    SoundEffectPlayer(const SoundEffectPlayer&) = delete;
    SoundEffectPlayer& operator=(const SoundEffectPlayer&) = delete;

    void PlayLoop(const QString& wavPath) override;
    void Stop() override;

private:
    QString moduleFolder_;
    bool loaded_ = false;
    std::unique_ptr<ISoundPlayer> player_;
};

}  // namespace kestrel
