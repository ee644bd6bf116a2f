#pragma once
// A minimal byte stream: the source of streamed inputs and the destination of
// streamed outputs. Positions and sizes are in bytes, 64-bit.

#include <cstdint>

namespace dw {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    TStream() = default;
    virtual ~TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Reads up to count bytes; returns how many were read (0 at the end).
    // I/O failures raise EAuException with the system's text.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes count bytes; returns how many were written.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position; returns the new position from the beginning.
    // A position beyond the end is allowed (a later write fills the gap with zeros).
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    // Sets the size (truncating or extending); the position stays unless it
    // lies beyond the new end, in which case it moves to the end.
    virtual void SetSize(int64_t newSize) = 0;
    virtual int64_t GetSize();

    int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }

    // Exactly count bytes or EAuException "Stream read error" / "Stream write error".
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
};

}  // namespace dw
