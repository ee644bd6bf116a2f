#include "audio/formats/AudioFileCheck.h"

#include "audio/stream/AuException.h"
#include "audio/stream/AuFileIn.h"

namespace dw {

QString CheckAudioFileData(TAuFileIn& in)
{
    // Large requests: the readers hand out what they hold, whatever is asked.
    constexpr uint32_t kRequest = 1u << 20;
    QString fault;
    try {
        in.Init();
        for (;;) {
            void* buffer = nullptr;
            uint32_t bytes = kRequest;
            in.GetData(buffer, bytes);
            if (bytes == 0)
                break;
        }
    } catch (const std::exception& e) {
        fault = ExceptionText(e);
    }
    try {
        in.Flush();
    } catch (const std::exception& e) {
        if (fault.isEmpty())
            fault = ExceptionText(e);
    }
    return fault;
}

}  // namespace dw
