#include "ui/tray/iconlist.h"

#include <QFile>
#include <QIODevice>
#include <QtEndian>
#include <utility>

namespace kestrel {

TIcon::TIcon(QByteArray bytes, QString file) : data_(std::move(bytes)), file_(std::move(file)) {}

TIcon::TIcon(const TIcon& other) : data_(other.data_), file_(other.file_) {}

TIcon& TIcon::operator=(const TIcon& other) {
    Assign(other);
    return *this;
}

void TIcon::Assign(const TIcon& source) {
    data_ = source.data_;
    file_ = source.file_;
    Changed();
}

void TIcon::SetData(const QByteArray& bytes) {
    data_ = bytes;
    file_.clear();
    Changed();
}

void TIcon::Changed() {
    if (OnChange) {
        OnChange(this);
    }
}

TIcon IconFromResource(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray bytes = file.readAll();
    return bytes.isEmpty() ? TIcon() : TIcon(std::move(bytes), path);
}

bool LooksLikeIco(const QByteArray& bytes) {
    constexpr qsizetype kHeader = 6;
    constexpr qsizetype kEntry = 16;
    if (bytes.size() < kHeader) {
        return false;
    }
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const quint16 reserved = qFromLittleEndian<quint16>(p);
    const quint16 type = qFromLittleEndian<quint16>(p + 2);
    const quint16 count = qFromLittleEndian<quint16>(p + 4);
    return reserved == 0 && type == 1 && count > 0 && bytes.size() >= kHeader + count * kEntry;
}

TIconList::~TIconList() {
    for (auto& icon : items_) {
        Release(icon);
    }
}

TIcon* TIconList::Get(int index) const {
    return InRange(index) ? items_[index].get() : nullptr;
}

std::unique_ptr<TIcon> TIconList::Own(const TIcon& icon) {
    auto owned = std::make_unique<TIcon>(icon);
    owned->OnChange = [this](TIcon*) { Changed(); };
    return owned;
}

void TIconList::Release(std::unique_ptr<TIcon>& icon) {
    // Whoever still points at the icon must not call back into a list it has left.
    if (icon) {
        icon->OnChange = nullptr;
        icon.reset();
    }
}

void TIconList::InsertOwned(int index, std::unique_ptr<TIcon> icon) {
    items_.insert(items_.begin() + index, std::move(icon));
}

void TIconList::Put(int index, const TIcon& icon) {
    if (index < 0 || index > Count()) {
        return;
    }
    // Copying into the icon in place keeps pointers that callers hold to it valid; the
    // bracket folds the icon's own notification into the list's one.
    BeginUpdate();
    if (index == Count()) {
        items_.emplace_back();
    }
    if (!items_[index]) {
        items_[index] = Own(icon);
    } else {
        items_[index]->Assign(icon);
    }
    EndUpdate();
}

int TIconList::Add(const TIcon& icon) {
    InsertOwned(Count(), Own(icon));
    Changed();
    return Count() - 1;
}

int TIconList::AddResource(const QString& path) {
    return InsertResource(Count(), path) ? Count() - 1 : -1;
}

void TIconList::Insert(int index, const TIcon& icon) {
    if (index < 0 || index > Count()) {
        return;
    }
    InsertOwned(index, Own(icon));
    Changed();
}

bool TIconList::InsertResource(int index, const QString& path) {
    if (index < 0 || index > Count()) {
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (!LooksLikeIco(bytes)) {
        return false;
    }
    Insert(index, TIcon(bytes));
    return true;
}

void TIconList::Delete(int index) {
    if (!InRange(index)) {
        return;
    }
    Release(items_[index]);
    items_.erase(items_.begin() + index);
    Changed();
}

void TIconList::Clear() {
    BeginUpdate();
    while (!items_.empty()) {
        Delete(Count() - 1);
    }
    EndUpdate();
}

void TIconList::Exchange(int i, int j) {
    if (!InRange(i) || !InRange(j)) {
        return;
    }
    std::swap(items_[i], items_[j]);
    Changed();
}

void TIconList::Move(int from, int to) {
    if (!InRange(from) || !InRange(to)) {
        return;
    }
    auto icon = std::move(items_[from]);
    items_.erase(items_.begin() + from);
    InsertOwned(to, std::move(icon));
    Changed();
}

int TIconList::IndexOf(const TIcon* icon) const {
    if (icon == nullptr) {
        return -1;
    }
    for (int i = 0; i < Count(); ++i) {
        if (items_[i].get() == icon) {
            return i;
        }
    }
    return -1;
}

namespace {

bool ReadInt32(QIODevice& stream, qint32& value) {
    char raw[4];
    if (stream.read(raw, 4) != 4) {
        return false;
    }
    value = qFromLittleEndian<qint32>(raw);
    return true;
}

// Reads exactly size bytes in pieces, so that a size field claiming gigabytes costs memory
// only as far as the stream really goes.
bool ReadBlob(QIODevice& stream, qint32 size, QByteArray& blob) {
    constexpr qint64 kPiece = 64 * 1024;
    blob.clear();
    while (blob.size() < size) {
        const QByteArray piece = stream.read(qMin<qint64>(kPiece, size - blob.size()));
        if (piece.isEmpty()) {
            return false;
        }
        blob.append(piece);
    }
    return true;
}

void WriteInt32(QIODevice& stream, qint32 value) {
    char raw[4];
    qToLittleEndian(value, raw);
    stream.write(raw, 4);
}

}  // namespace

bool TIconList::LoadFromStream(QIODevice& stream) {
    qint32 count = 0;
    if (!ReadInt32(stream, count) || count < 0) {
        return false;
    }
    // No reserve(count): the count is only believed as far as the sizes really follow.
    std::vector<qint32> sizes;
    for (qint32 i = 0; i < count; ++i) {
        qint32 size = 0;
        if (!ReadInt32(stream, size)) {
            return false;
        }
        sizes.push_back(size);
    }
    std::vector<QByteArray> blobs;
    for (const qint32 size : sizes) {
        QByteArray blob;
        if (size > 0 && !ReadBlob(stream, size, blob)) {
            return false;
        }
        blobs.push_back(std::move(blob));
    }
    BeginUpdate();
    Clear();
    for (auto& blob : blobs) {
        items_.push_back(blob.isEmpty() ? nullptr : Own(TIcon(std::move(blob))));
    }
    EndUpdate();
    return true;
}

void TIconList::SaveToStream(QIODevice& stream) const {
    WriteInt32(stream, Count());
    for (const auto& icon : items_) {
        WriteInt32(stream, icon ? static_cast<qint32>(icon->Data().size()) : 0);
    }
    for (const auto& icon : items_) {
        if (icon) {
            stream.write(icon->Data());
        }
    }
}

void TIconList::Assign(const TIconList* source) {
    if (source == this) {
        return;
    }
    BeginUpdate();
    Clear();
    if (source != nullptr) {
        for (const auto& icon : source->items_) {
            items_.push_back(icon ? Own(*icon) : nullptr);
        }
    }
    EndUpdate();
}

void TIconList::Assign(const TIcon& source) {
    const TIcon copy(source);  // the source may be one of our own slots
    BeginUpdate();
    Clear();
    Add(copy);
    EndUpdate();
}

void TIconList::BeginUpdate() {
    ++updateCount_;
}

void TIconList::EndUpdate() {
    if (updateCount_ == 0) {
        return;
    }
    if (--updateCount_ == 0) {
        Changed();
    }
}

void TIconList::Changed() {
    if (updateCount_ == 0 && OnChange) {
        OnChange(this);
    }
}

}  // namespace kestrel
