#include "platform/sound.h"

#include <QSoundEffect>
#include <QUrl>

namespace kestrel {

SoundEffectPlayer::SoundEffectPlayer() : effect_(std::make_unique<QSoundEffect>()) {
    effect_->setLoopCount(QSoundEffect::Infinite);
}

SoundEffectPlayer::~SoundEffectPlayer() = default;

void SoundEffectPlayer::PlayLoop(const QString& wavPath) {
    const QUrl source = QUrl::fromLocalFile(wavPath);
    // Stopping first makes a repeated alarm start the sound again from its beginning; the
    // effect keeps the decoded file, so the same path is not read again.
    effect_->stop();
    if (effect_->source() != source)
        effect_->setSource(source);
    // While the file is still loading, play() is remembered and starts once it is ready; a file
    // that cannot be decoded ends in the Error status and stays silent.
    effect_->play();
}

void SoundEffectPlayer::Stop() {
    effect_->stop();
}

}  // namespace kestrel
