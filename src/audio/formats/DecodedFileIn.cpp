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

QString TDecodedFileIn::OpenProblem()
{
    OpenFile();
    return Problem;
}

QString TDecodedFileIn::displayName() const
{
    return FileName.isEmpty() ? QStringLiteral("(stream)") : FileName;
}

void TDecodedFileIn::checkEndOfData()
{
    if (!Problem.isEmpty())
        throw EAuException(QString("%1: %2").arg(displayName(), Problem));
    const int64_t size = Size;
    const int64_t position = Position;
    if (size < 0 || position >= size)
        return;
    const int64_t frame = std::max<int64_t>(1, static_cast<int64_t>(Channels) * (BitsPerSample / 8));
    throw EAuException(QString("%1: the %2 data ends after %3 of the %4 sample frames the file states")
                           .arg(displayName(), QLatin1String(kindName()))
                           .arg(position / frame)
                           .arg(size / frame));
}

void TDecodedFileIn::failDecoding(const QString& why)
{
    const int64_t frame = std::max<int64_t>(1, static_cast<int64_t>(Channels) * (BitsPerSample / 8));
    throw EAuException(QString("%1: %2 decoding failed after %3 sample frames: %4")
                           .arg(displayName(), QLatin1String(kindName()))
                           .arg(Position / frame)
                           .arg(why));
}

void TDecodedFileIn::OpenFile()
{
    std::lock_guard<std::recursive_mutex> lock(FileLock);
    if (OpenCount != 0)
        return;
    beforeOpen();
    Valid = true;
    Problem.clear();
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
        // A stream found cut short when it was opened fails as its data
        // runs out, before the end is handed out as if it were whole.
        if (DecoderEnded && !Problem.isEmpty())
            checkEndOfData();
    }
    const uint32_t held = BufEnd >= BufStart ? BufEnd - BufStart + 1 : 0;
    if (held == 0 && DecoderEnded)
        checkEndOfData();
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
