#include "tags/AuTags.h"

#include <algorithm>

namespace dw {

namespace {

bool keyLess(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

}  // namespace

std::vector<TAuTags::Entry>::iterator TAuTags::find(const QString& key)
{
    auto it = std::lower_bound(values_.begin(), values_.end(), key,
                               [](const Entry& e, const QString& k) { return keyLess(e.key, k); });
    if (it != values_.end() && QString::compare(it->key, key, Qt::CaseInsensitive) == 0)
        return it;
    return values_.end();
}

std::vector<TAuTags::Entry>::const_iterator TAuTags::find(const QString& key) const
{
    return const_cast<TAuTags*>(this)->find(key);
}

QString TAuTags::Names(int index) const
{
    if (index < 0 || index >= Count())
        return {};
    return values_[static_cast<size_t>(index)].key;
}

TTagValue TAuTags::Value(const QString& key) const
{
    const auto it = find(key);
    return it == values_.end() ? TTagValue{} : it->value;
}

void TAuTags::SetValue(const QString& key, const TTagValue& value)
{
    const auto it = find(key);
    if (it == values_.end() || it->value == value)
        return;
    it->value = value;
    empty_ = false;
    changed_ = true;
}

void TAuTags::Clear()
{
    for (Entry& e : values_)
        e.value = std::monostate{};
    empty_ = true;
    changed_ = true;
}

void TAuTags::Assign(const TAuTags& source)
{
    if (&source == this) {
        // Clearing first would lose what is to be copied.
        changed_ = true;
        return;
    }
    Clear();
    for (const Entry& e : source.values_)
        SetValue(e.key, e.value);
}

bool TAuTags::CheckFile(int fd)
{
    return fd != -1;
}

bool TAuTags::ReadFromFile(int fd)
{
    if (fd == -1)
        return false;
    Clear();
    return true;
}

bool TAuTags::WriteToFile(int fd, bool)
{
    return fd != -1;
}

bool TAuTags::AddTag(const QString& key, const TTagValue& def)
{
    if (key.isEmpty())
        return false;
    auto it = std::lower_bound(values_.begin(), values_.end(), key,
                               [](const Entry& e, const QString& k) { return keyLess(e.key, k); });
    if (it == values_.end() || keyLess(key, it->key))
        values_.insert(it, Entry{key, def});
    return true;
}

}  // namespace dw
