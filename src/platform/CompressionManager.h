#pragma once
// The audio compression manager: decodes compressed WAV data (MPEG audio,
// format tag $55, and whatever else libavcodec decodes under a RIFF format
// tag) into 16-bit PCM. It keeps the shape of the classic ACM calls: suggest
// a PCM format, open a conversion stream, estimate the output size, convert,
// close. Format descriptions are WAVEFORMATEX bytes (little-endian: tag,
// channels, sample rate, average bytes per second, block align, bits per
// sample, extra size, extra bytes).
//
// The decoding libraries are loaded at run time when first needed (see
// FfmpegLibrary.h). While one is missing, acmFormatSuggest and acmStreamOpen
// return MMSYSERR_ERROR, canDecodeTag is false, acmLibraryFailure names the
// library, and the first such failure is written to the log.
//
// Results are the classic 32-bit codes: 0 success, otherwise an error number.
// Thread use: one stream is used by one thread at a time; different streams
// are independent.

#include <QString>

#include <cstdint>
#include <memory>
#include <span>

namespace dw::acm {

using MMRESULT = uint32_t;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
constexpr MMRESULT ACMERR_BUSY = 513;
constexpr MMRESULT ACMERR_UNPREPARED = 514;

constexpr uint32_t ACM_METRIC_MAX_SIZE_FORMAT = 50;
constexpr uint32_t ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 0x00000004;
constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x00000000;
constexpr uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
constexpr uint32_t ACM_STREAMCONVERTF_START = 0x00000010;
constexpr uint32_t ACM_STREAMCONVERTF_END = 0x00000020;

// Bytes of the fixed part of a format description (up to and including the
// extra-size field).
constexpr size_t kFormatHeaderSize = 18;
// The largest format description this layer reads or writes.
constexpr uint32_t kMaxFormatSize = 128;

// ACM_METRIC_MAX_SIZE_FORMAT gives kMaxFormatSize; other metrics are refused.
MMRESULT acmMetrics(uint32_t metric, uint32_t& value);

// Whether a decoder exists for this RIFF format tag.
bool canDecodeTag(uint16_t formatTag);

// Empty when the decoding libraries are loaded (it loads them when they are
// not yet), else "<soname> library could not be loaded. (<reason>)" for the
// first one missing.
QString acmLibraryFailure();

// Fills dst (at least 18 bytes) with the 16-bit PCM format, of the source's
// channels and sample rate, that a conversion from src can produce. With
// ACM_FORMATSUGGESTF_WFORMATTAG the tag already in dst must be 1 (PCM).
MMRESULT acmFormatSuggest(std::span<const uint8_t> src, std::span<uint8_t> dst, uint32_t flags);

class AcmStream;
struct AcmStreamDeleter {
    void operator()(AcmStream* s) const;
};
using HACMSTREAM = std::unique_ptr<AcmStream, AcmStreamDeleter>;

// One buffer pair of a conversion. The caller owns both buffers.
struct ACMSTREAMHEADER {
    uint32_t fdwStatus = 0;          // ACMSTREAMHEADER_STATUSF_* below
    const uint8_t* pbSrc = nullptr;
    uint32_t cbSrcLength = 0;
    uint32_t cbSrcLengthUsed = 0;
    uint8_t* pbDst = nullptr;
    uint32_t cbDstLength = 0;
    uint32_t cbDstLengthUsed = 0;
};
constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;

// Opens a conversion from src to dst; dst must be 16-bit PCM with src's
// channels and rate (as acmFormatSuggest gives). No driver or filter choice.
MMRESULT acmStreamOpen(HACMSTREAM& stream, std::span<const uint8_t> src, std::span<const uint8_t> dst,
                       uint32_t flags);
// An estimate of the output for `input` source bytes (from the formats'
// average byte rates). Conversion output may differ: acmStreamConvert keeps
// what does not fit for the next call.
MMRESULT acmStreamSize(AcmStream* stream, uint32_t input, uint32_t& output, uint32_t flags);
MMRESULT acmStreamPrepareHeader(AcmStream* stream, ACMSTREAMHEADER& header, uint32_t flags);
// Decodes the source bytes and fills the destination with as much PCM as is
// ready; what does not fit is kept for the next call (with or without new
// source). With ACM_STREAMCONVERTF_END the source is the last: the decoder
// is drained. Corrupt frames are skipped.
MMRESULT acmStreamConvert(AcmStream* stream, ACMSTREAMHEADER& header, uint32_t flags);
MMRESULT acmStreamUnprepareHeader(AcmStream* stream, ACMSTREAMHEADER& header, uint32_t flags);
// Bytes of decoded PCM waiting for a destination.
uint64_t acmStreamPending(AcmStream* stream);
MMRESULT acmStreamClose(HACMSTREAM& stream, uint32_t flags);

}  // namespace dw::acm
