#pragma once
// The recorder's time texts.
//
// Thread-safe (pure functions).

#include <QString>

#include <cstdint>

namespace dw {

// hh:mm:ss.t of an elapsed time, e.g. 00:01:07.4 (tenths cut, not rounded).
QString RecordTimeText(int64_t ms);

// A length for the Length and Position labels: below one minute the seconds
// with 3 significant digits and " Sec" (1.5 Sec, 12.3 Sec, 0 Sec); otherwise
// "<h>Hour", "<m> Min" and "<s> Sec", each only when not 0 (1 Min1 Sec,
// 1Hour2 Min3 Sec, 1 Min).
QString LengthText(int64_t ms);

// The empty Length and Position text of a new recording.
inline constexpr char ZeroLengthText[] = "0.00 Sec";
// The record clock before anything is recorded.
inline constexpr char ZeroRecordTime[] = "00:00:00.0";

}  // namespace dw
