#include "tags/TagValue.h"

namespace dw {

bool IsAssigned(const TTagValue& v)
{
    return !std::holds_alternative<std::monostate>(v);
}

bool IsInteger(const TTagValue& v)
{
    return IsAssigned(v) && !IsString(v);
}

bool IsString(const TTagValue& v)
{
    return std::holds_alternative<QByteArray>(v) || std::holds_alternative<QString>(v);
}

int64_t TagValueToInteger(const TTagValue& v)
{
    return std::visit(
        [](const auto& x) -> int64_t {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return 0;
            } else if constexpr (std::is_same_v<T, QByteArray> || std::is_same_v<T, QString>) {
                // A whole decimal number within 32 bits, as the typed
                // properties hold no more; "12a" and "" read as 0.
                bool ok = false;
                const int n = x.toInt(&ok, 10);
                return ok ? n : 0;
            } else {
                return static_cast<int64_t>(x);
            }
        },
        v);
}

QByteArray TagValueToAnsi(const TTagValue& v)
{
    if (const auto* a = std::get_if<QByteArray>(&v))
        return *a;
    if (const auto* w = std::get_if<QString>(&v))
        return w->toUtf8();
    if (IsInteger(v))
        return QByteArray::number(static_cast<qlonglong>(TagValueToInteger(v)));
    return {};
}

QString TagValueToWide(const TTagValue& v)
{
    if (const auto* w = std::get_if<QString>(&v))
        return *w;
    if (const auto* a = std::get_if<QByteArray>(&v))
        return QString::fromUtf8(*a);
    if (IsInteger(v))
        return QString::number(static_cast<qlonglong>(TagValueToInteger(v)));
    return {};
}

}  // namespace dw
