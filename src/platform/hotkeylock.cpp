#include "platform/hotkeylock.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace kestrel {

namespace {
// Any non-zero value does: the identifier only tells the owner from the others.
constexpr quint16 kOwnedAtom = 0xC000;
}  // namespace

HotKeyAtom::HotKeyAtom() : HotKeyAtom(DefaultLockPath()) {}

HotKeyAtom::HotKeyAtom(const QString& lockPath) : lock_(std::make_unique<QLockFile>(lockPath)) {
    // A lock is stale only when its process is gone: a copy that has run for hours still owns it.
    lock_->setStaleLockTime(0);
}

HotKeyAtom::~HotKeyAtom() {
    Release();
}

QString HotKeyAtom::DefaultLockPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("kESTRELmV_HOTKEY.lock"));
}

bool HotKeyAtom::Acquire() {
    if (!owned_)
        owned_ = lock_->tryLock(0);
    return owned_;
}

quint16 HotKeyAtom::Atom() const {
    return owned_ ? kOwnedAtom : 0;
}

void HotKeyAtom::Release() {
    if (owned_)
        lock_->unlock();
    owned_ = false;
}

}  // namespace kestrel
