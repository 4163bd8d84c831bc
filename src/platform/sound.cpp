#include "platform/sound.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <utility>

namespace kestrel {

QString ModuleFolder() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QStringLiteral(KESTREL_MODULE_DIR_FROM_BIN));
}

std::unique_ptr<ISoundPlayer> LoadSoundModule(const QString& folder) {
    using Make = ISoundPlayer* (*)();
    // Never unloaded: Qt Multimedia keeps threads and plugins of its own for the process's life.
    QLibrary module(folder + QStringLiteral("/kestrel-sound.so"));
    const auto make = reinterpret_cast<Make>(module.resolve("kestrel_sound_player_v1"));
    if (make == nullptr) {
        qWarning("kestrel: alarms stay silent: %s", qUtf8Printable(module.errorString()));
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
