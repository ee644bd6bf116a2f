#pragma once
// Reading a whole audio file to find out whether it holds what it states:
// the readers raise EAuException on damaged data and on a stream that ends
// before its stated length, and this runs one of them from start to end the
// way a conversion would (so `info` can say what a conversion would meet).
//
// Threads: on the caller's thread, with the reader not in use elsewhere.

#include <QString>

namespace dw {

class TAuFileIn;

// Reads all of in (a reader set to its file, not yet started) and returns
// the reader's message for the first fault, or empty when the data reads to
// its end without one. The reader is flushed again afterwards.
QString CheckAudioFileData(TAuFileIn& in);

}  // namespace dw
