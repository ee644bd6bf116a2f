#include "audio/stream/AuStreamedOutput.h"

namespace dw {

TAuStreamedOutput::TAuStreamedOutput() = default;

TAuStreamedOutput::~TAuStreamedOutput() = default;

void TAuStreamedOutput::SetOwnedStream(std::unique_ptr<TStream> stream)
{
    OwnedStream = std::move(stream);
    Stream = OwnedStream.get();
}

void TAuStreamedOutput::FreeOwnedStream()
{
    if (!OwnedStream)
        return;
    if (Stream == OwnedStream.get())
        Stream = nullptr;
    OwnedStream.reset();
}

}  // namespace dw
