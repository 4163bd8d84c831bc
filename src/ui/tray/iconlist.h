// Icons as the bytes of their image files, and the ordered list that holds the frames of the
// tray animation. This side never decodes a picture: the window layer turns the file or the
// bytes into something it can draw.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QIODevice;

namespace kestrel {

// The picture is an image file: an .ico (what the stored form of a list holds), or the SVG or PNG
// the program ships as a resource. An icon read from a file remembers the file, so that the tray
// can hand it to Qt as it is, to be drawn at whatever size the panel wants; the bytes are what
// the stored form keeps and what tells two pictures apart.
class TIcon {
public:
    TIcon() = default;
    explicit TIcon(QByteArray bytes, QString file = {});
    // A copy takes the picture but never the change link: it belongs to whoever made it.
    TIcon(const TIcon& other);
    TIcon& operator=(const TIcon& other);

    // Takes over the picture of the source and tells OnChange.
    void Assign(const TIcon& source);
    // Replaces the picture with these bytes (empty bytes: no picture), which come from no file,
    // and tells OnChange.
    void SetData(const QByteArray& bytes);
    const QByteArray& Data() const { return data_; }
    // The image file the picture was read from; empty when it came as bytes.
    const QString& File() const { return file_; }
    bool Empty() const { return data_.isEmpty(); }

    std::function<void(TIcon* Sender)> OnChange;

private:
    void Changed();
    QByteArray data_;
    QString file_;
};

// The icon whose picture is the image file at path (a Qt resource such as
// ":/icons/tray-normal.svg", or any file). Empty when the file cannot be read.
TIcon IconFromResource(const QString& path);

// True when the bytes start like an .ico file (reserved 0, type 1, at least one entry, the
// whole directory present). Nothing is decoded.
bool LooksLikeIco(const QByteArray& bytes);

// Slots that may be empty (Get returns nullptr for them). Every operation that changes the list
// ends with exactly one OnChange, or none while an update bracket is open. Indices out of range
// leave the list untouched; that is the caller's slip, not a reason to lose icons.
class TIconList {
public:
    TIconList() = default;
    ~TIconList();
    TIconList(const TIconList&) = delete;
    TIconList& operator=(const TIconList&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    // The icon in slot i; nullptr for an empty slot or an index out of range. The list keeps
    // ownership; the pointer stays valid until that slot is deleted or the list is cleared.
    TIcon* Get(int index) const;
    // With index == Count an empty slot is appended first; an empty slot gets an icon; then
    // that icon takes over the picture of the given one.
    void Put(int index, const TIcon& icon);
    // Appends a copy; returns its index.
    int Add(const TIcon& icon);
    // Reads an .ico file (a Qt resource path such as ":/icons/x.ico", or any file) and appends
    // it. A file that cannot be read or is no .ico appends nothing and returns -1.
    int AddResource(const QString& path);
    // Inserts a copy at 0..Count.
    void Insert(int index, const TIcon& icon);
    // As AddResource, at 0..Count; false (and nothing inserted) when the file is unusable.
    bool InsertResource(int index, const QString& path);
    void Delete(int index);
    void Clear();
    void Exchange(int i, int j);
    void Move(int from, int to);
    // The slot holding this very object (not an equal copy), or -1.
    int IndexOf(const TIcon* icon) const;

    // The stored form, little-endian: int32 N, N int32 sizes (0 or less: empty slot), then the
    // N .ico blobs. Loading replaces the list only when the whole stream was read correctly;
    // a short or malformed stream returns false and leaves the list as it was.
    bool LoadFromStream(QIODevice& stream);
    void SaveToStream(QIODevice& stream) const;

    // nullptr: Clear. Another list: a copy of each of its slots (empty slots stay empty). A
    // single icon: the list becomes that one icon. One OnChange each.
    void Assign(const TIconList* source);
    void Assign(const TIcon& source);

    void BeginUpdate();
    // Closing the outermost bracket tells OnChange once, whether or not anything changed.
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    std::function<void(TIconList* Sender)> OnChange;

private:
    std::unique_ptr<TIcon> Own(const TIcon& icon);
    void Release(std::unique_ptr<TIcon>& icon);
    void InsertOwned(int index, std::unique_ptr<TIcon> icon);
    void Changed();
    bool InRange(int index) const { return index >= 0 && index < Count(); }

    std::vector<std::unique_ptr<TIcon>> items_;
    int updateCount_ = 0;
};

}  // namespace kestrel
