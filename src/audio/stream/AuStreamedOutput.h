#pragma once
// An output that writes to a TStream. A file output opens the stream in
// Prepare (SetOwnedStream) and frees it in Done (FreeOwnedStream).

#include "audio/stream/AuOutput.h"
#include "audio/stream/Stream.h"

#include <memory>

namespace dw {

class TAuStreamedOutput : public TAuOutput {
public:
    TAuStreamedOutput();
    ~TAuStreamedOutput() override;

    TStream* GetStream() const { return Stream; }

protected:
    void SetOwnedStream(std::unique_ptr<TStream> stream);
    void FreeOwnedStream();

    TStream* Stream = nullptr;
    std::unique_ptr<TStream> OwnedStream;
    bool StreamAssigned = false;  // outputs always open their own file
};

}  // namespace dw
