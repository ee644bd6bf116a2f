#pragma once
// One tag value: unassigned, an integer of 8 to 32 bits (signed or unsigned),
// an ANSI string or a wide string. Two values are the same when they are of
// the same kind and equal (std::variant's ==), so the integer 7 as a byte and
// the integer 7 as a 32-bit number differ, as do "7" and 7.
//
// ANSI strings are single-byte text in the system's code page, which is
// UTF-8 here; wide strings are QString. Conversions between the two are
// therefore lossless.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <variant>

namespace dw {

using TTagValue =
    std::variant<std::monostate, int8_t, uint8_t, int16_t, uint16_t, int32_t, uint32_t, QByteArray, QString>;

bool IsAssigned(const TTagValue& v);
bool IsInteger(const TTagValue& v);
bool IsString(const TTagValue& v);  // ANSI or wide

// An integer as it is; a string parsed as a whole decimal number (0 when it is
// not one); anything else 0.
int64_t TagValueToInteger(const TTagValue& v);
// An integer as decimal text; a string as it is; anything else empty.
QByteArray TagValueToAnsi(const TTagValue& v);
QString TagValueToWide(const TTagValue& v);

}  // namespace dw
