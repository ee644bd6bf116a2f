#pragma once
// Genre texts as ID3 tags store them, made readable: a genre number of the
// ID3v1 list, alone ("35") or in parentheses in an ID3v2 content-type frame
// ("(80)", "(80)(35)", "(80)Folk" with a refining text), becomes its name.
//
// Pure functions; thread-safe.

#include <QString>

namespace dw {

// The readable form of one genre text:
//   "35"        -> "House"        (a number of the list, 0..147)
//   "(80)"      -> "Folk"
//   "(80)Folk"  -> "Folk"         (a refining text stands for the number)
//   "(17)(35)"  -> "Rock, House"
//   "(RX)", "(CR)" -> "Remix", "Cover"
//   "((Odd)"    -> "(Odd)"        (a doubled parenthesis starts plain text)
// Numbers outside the list and any other text are kept as they are.
QString GenreDisplayText(const QString& text);

}  // namespace dw
