#pragma once
// TDecodedFileIn: what the readers over a decoding library (Ogg Vorbis,
// Opus, FLAC) share. OpenFile opens the component's stream (the named file,
// or the stream the caller assigned) and hands it to the reader's decoder;
// when the decoder refuses, the reader is invalid and an owned stream is
// closed again. CloseFile drops the decoder and frees an owned stream or
// rewinds a supplied one.
//
// Readers that decode into a fixed block (Vorbis, Opus) also share how the
// block is handed out: the window [BufStart, BufEnd], counted from 1, of
// decoded bytes not yet delivered; fillBuffer appends whole frames to it
// until it is full or the decoder has ended, and EndAtStatedSize cuts it at
// the stated length.
//
// All three carry Vorbis comments, which openDecoder reads into Tags and
// Comments.
//
// Damaged data is never passed over in silence: a decoder error, lost sync
// or a gap in the data raises EAuException where it is met, and a stream
// that ends before the length it states (or that a reader found cut short
// when it opened it, Problem) raises one when its data runs out, after
// everything readable was handed out. Nothing is made up to fill the gap.
//
// Threads: as TAuFileIn (format queries under FileLock, data calls on the
// worker of the output at the end of the chain).

#include "audio/stream/AuTaggedFileIn.h"

#include <QStringList>

#include <cstdint>
#include <memory>

namespace dw {

class TVorbisTags;

class TDecodedFileIn : public TAuTaggedFileIn {
public:
    TDecodedFileIn();
    ~TDecodedFileIn() override;

    // The file's comments (opens the file first).
    TVorbisTags& VorbisTags();
    // Every comment as the file holds it ("NAME=value", names in their own
    // case), in file order (opens the file; of the first link of a chain).
    QStringList RawComments();
    // What the reader found wrong with the file when it opened it (a stream
    // cut short, say), or empty; the data still reads up to that point.
    QString OpenProblem();

protected:
    void OpenFile() override;
    void CloseFile() override;

    // Called under FileLock before anything is opened (a reader whose
    // libraries are loaded at run time reports a missing one first).
    virtual void beforeOpen() {}
    // Sets the decoder up over Stream and reads the format; raises
    // EAuException when the data is not usable.
    virtual void openDecoder() = 0;
    // Drops the decoder (also after a failed openDecoder).
    virtual void closeDecoder() = 0;
    // Resets what the reader keeps about a decoding under way once closed.
    virtual void afterClose() {}

    // For the block readers: hands out up to bytes of the window, refilling
    // it through fillBuffer when it is used up; nothing when no decoder is open.
    void handOutBlock(uint8_t* block, void*& buffer, uint32_t& bytes);
    virtual bool decoderOpen() const = 0;
    virtual void fillBuffer() {}
    // Cuts the window where the stated Size ends, and ends the decoding there.
    void endAtStatedSize();
    // Empties the window (after a seek).
    void resetBlock();
    // At the end of the decoded data: raises the open-time Problem, or a
    // shortfall when fewer bytes were handed out than Size states.
    void checkEndOfData();
    // Raises "<file>: <kind> decoding failed after N sample frames: <why>".
    [[noreturn]] void failDecoding(const QString& why);
    // The format's name for messages ("FLAC", "Ogg Vorbis", "Opus").
    virtual const char* kindName() const = 0;
    // The file's name for messages.
    QString displayName() const;

    bool DecoderEnded = false;
    std::unique_ptr<TVorbisTags> Tags;  // filled by openDecoder
    QStringList Comments;               // filled by openDecoder
    QString Problem;                    // set by openDecoder; see OpenProblem
};

}  // namespace dw
