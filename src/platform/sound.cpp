#include "platform/sound.h"

#include <utility>

#include "platform/logging.h"

namespace kestrel {

std::unique_ptr<ISoundPlayer> LoadSoundModule(const QString& folder) {
    using Make = ISoundPlayer* (*)();
    QString error;
    const auto make = reinterpret_cast<Make>(ModuleEntry(
        folder + QStringLiteral("/kestrel-sound.so"), "kestrel_sound_player_v1", &error));
    if (make == nullptr) {
        qCWarning(lcPlatform) << "alarms stay silent:" << qUtf8Printable(error);
        return nullptr;
    }
    return std::unique_ptr<ISoundPlayer>(make());
}

SoundEffectPlayer::SoundEffectPlayer(QString moduleFolder)
    : moduleFolder_(std::move(moduleFolder)) {}

SoundEffectPlayer::~SoundEffectPlayer() = default;

void SoundEffectPlayer::PlayLoop(const QString& wavPath) {
    if (!loaded_) {
        loaded_ = true;  // a module that failed once is not looked for at every alarm
        player_ = LoadSoundModule(moduleFolder_);
    }
    if (player_)
        player_->PlayLoop(wavPath);
}

void SoundEffectPlayer::Stop() {
    if (player_)
        player_->Stop();
}

}  // namespace kestrel
