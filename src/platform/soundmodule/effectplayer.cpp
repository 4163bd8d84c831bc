// The alarm sound through Qt Multimedia, built as a module of its own: Qt Multimedia and the
// audio server's client library are loaded into the ticker only when an alarm first plays,
// not on every start.
#include <QSoundEffect>
#include <QUrl>

#include "platform/sound.h"

namespace kestrel {
namespace {

class EffectPlayer : public ISoundPlayer {
public:
    EffectPlayer() { effect_.setLoopCount(QSoundEffect::Infinite); }

    void PlayLoop(const QString& wavPath) override {
        const QUrl source = QUrl::fromLocalFile(wavPath);
        // Stopping first makes a repeated alarm start the sound again from its beginning; the
        // effect keeps the decoded file, so the same path is not read again.
        effect_.stop();
        if (effect_.source() != source)
            effect_.setSource(source);
        // While the file is still loading, play() is remembered and starts once it is ready; a
        // file that cannot be decoded ends in the Error status and stays silent.
        effect_.play();
    }

    void Stop() override { effect_.stop(); }

private:
    QSoundEffect effect_;
};

}  // namespace
}  // namespace kestrel

extern "C" Q_DECL_EXPORT kestrel::ISoundPlayer* kestrel_sound_player_v1() {
    return new kestrel::EffectPlayer;
}
