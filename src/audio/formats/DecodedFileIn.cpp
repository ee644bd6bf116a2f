#include "audio/formats/DecodedFileIn.h"

#include "audio/stream/AuException.h"
#include "audio/stream/AuFileStream.h"
#include "tags/VorbisTags.h"

#include <algorithm>

namespace dw {

TDecodedFileIn::TDecodedFileIn() : Tags(std::make_unique<TVorbisTags>()) {}

TDecodedFileIn::~TDecodedFileIn() = default;

TVorbisTags& TDecodedFileIn::VorbisTags()
{
    OpenFile();
    return *Tags;
}

QStringList TDecodedFileIn::RawComments()
{
    OpenFile();
    return Comments;
}

void TDecodedFileIn::OpenFile()
{
    std::lock_guard<std::recursive_mutex> lock(FileLock);
    if (OpenCount != 0)
        return;
    beforeOpen();
    Valid = true;
    if (!StreamAssigned) {
        try {
            SetOwnedStream(std::make_unique<TAuFileStream>(FileName, fmOpenRead | fmShareDenyWrite));
        } catch (const std::exception& e) {
            Valid = false;
            throw EAuException(QString("Failed to open stream: %1").arg(ExceptionText(e)));
        }
    }
    try {
        openDecoder();
    } catch (...) {
        Valid = false;
        closeDecoder();
        if (OwnsStream())
            FreeOwnedStream();
        throw;
    }
    ++OpenCount;
}

void TDecodedFileIn::CloseFile()
{
    std::lock_guard<std::recursive_mutex> lock(FileLock);
    if (OpenCount == 0)
        return;
    closeDecoder();
    if (OwnsStream()) {
        FreeOwnedStream();
    } else if (Stream) {
        try {
            Stream->SetPosition(0);
        } catch (const std::exception&) {
        }
    }
    DecoderEnded = false;
    afterClose();
    OpenCount = 0;
}

void TDecodedFileIn::handOutBlock(uint8_t* block, void*& buffer, uint32_t& bytes)
{
    if (!Busy)
        throw EAuException("The Stream is not opened");
    if (!decoderOpen()) {
        bytes = 0;
        return;
    }
    if (BufEnd < BufStart) {
        BufStart = 1;
        BufEnd = 0;
        fillBuffer();
    }
    const uint32_t held = BufEnd >= BufStart ? BufEnd - BufStart + 1 : 0;
    bytes = std::min(bytes, held);
    buffer = block + (BufStart - 1);
    BufStart += bytes;
}

void TDecodedFileIn::endAtStatedSize()
{
    const int64_t size = Size;
    if (size >= 0 && Position + BufEnd >= size) {
        BufEnd = static_cast<uint32_t>(std::max<int64_t>(size - Position, 0));
        DecoderEnded = true;
    }
}

void TDecodedFileIn::resetBlock()
{
    BufStart = 1;
    BufEnd = 0;
    DecoderEnded = false;
}

}  // namespace dw
