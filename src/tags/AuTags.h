#pragma once
// A keyed tag container of the stream framework. The descendant's constructor
// fixes the set of keys (AddTag); afterwards only the values of those keys
// change. Keys are kept sorted and compared without regard to case, so
// "Artist" and "artist" name the same value.
//
// Empty is true at creation and after Clear and turns false when a value is
// changed; Changed is set by every change and by Clear and cleared by nothing
// inside the container (its owner decides when a change has been handled).
//
// File operations take an open file descriptor (-1 is invalid). They never
// raise or crash on bad data: reads answer false.
//
// Not thread-safe: a container is used by its owner's thread only.

#include "tags/TagValue.h"

#include <QString>

#include <vector>

namespace dw {

class TAuTags {
public:
    TAuTags() = default;
    virtual ~TAuTags() = default;
    TAuTags(const TAuTags&) = delete;
    TAuTags& operator=(const TAuTags&) = delete;

    int Count() const { return static_cast<int>(values_.size()); }
    // The key at index in sorted order; empty out of range.
    QString Names(int index) const;

    // The value of key; unassigned when there is no such key.
    TTagValue Value(const QString& key) const;
    // Stores value under key when the key exists and the value differs from
    // the stored one (kind or content); then Empty := false, Changed := true.
    void SetValue(const QString& key, const TTagValue& value);

    int64_t AsInteger(const QString& key) const { return TagValueToInteger(Value(key)); }
    QByteArray AsString(const QString& key) const { return TagValueToAnsi(Value(key)); }
    QString AsWideString(const QString& key) const { return TagValueToWide(Value(key)); }

    // Every value unassigned; Empty := true; Changed := true.
    void Clear();

    bool Empty() const { return empty_; }
    bool Changed() const { return changed_; }

    // Clear, then every value of source whose key this container also has.
    virtual void Assign(const TAuTags& source);
    void AssignTo(TAuTags& target) const { target.Assign(*this); }

    // Whether fd holds a tag of this kind (base: fd is valid).
    virtual bool CheckFile(int fd);
    // Base: Clear and true when fd is valid.
    virtual bool ReadFromFile(int fd);
    // Base: writes nothing; true when fd is valid.
    virtual bool WriteToFile(int fd, bool unicode);

protected:
    // For constructors: adds key with a copy of def unless it exists. An
    // empty key adds nothing and answers false.
    bool AddTag(const QString& key, const TTagValue& def = {});

private:
    struct Entry {
        QString key;
        TTagValue value;
    };
    // Sorted case-insensitively by key; lower_bound finds a key.
    std::vector<Entry>::iterator find(const QString& key);
    std::vector<Entry>::const_iterator find(const QString& key) const;

    std::vector<Entry> values_;
    bool empty_ = true;
    bool changed_ = false;
};

}  // namespace dw
