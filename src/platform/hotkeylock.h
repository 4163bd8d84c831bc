// Which running copy owns the hot key's identifier.
#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

class QLockFile;

namespace kestrel {

// A per-user lock file stands in for a named global atom: the first copy of the program to
// take it gets a non-zero identifier, later copies get 0 while it runs. The lock of a copy
// that died without releasing it is taken over.
class HotKeyAtom {
public:
    // The lock file "kESTRELmV_HOTKEY.lock" in the user's runtime folder (the temporary folder
    // when there is none).
    HotKeyAtom();
    // A lock at another place, for tests.
    explicit HotKeyAtom(const QString& lockPath);
    ~HotKeyAtom();  // releases
    HotKeyAtom(const HotKeyAtom&) = delete;
    HotKeyAtom& operator=(const HotKeyAtom&) = delete;

    // True when this object now owns the identifier (also when it already did).
    bool Acquire();
    // The identifier: non-zero while owned, 0 otherwise.
    quint16 Atom() const;
    // Gives the identifier up; harmless when not owned.
    void Release();

    static QString DefaultLockPath();

private:
    std::unique_ptr<QLockFile> lock_;
    bool owned_ = false;
};

}  // namespace kestrel
