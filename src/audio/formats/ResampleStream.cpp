#include "audio/formats/ResampleStream.h"

#include <soxr.h>

#include <stdexcept>
#include <string>

namespace dw {

namespace {

[[noreturn]] void fail(soxr_error_t error)
{
    throw std::runtime_error(std::string("resampler: ") + soxr_strerror(error));
}

}  // namespace

void TResampleStream::Deleter::operator()(soxr* s) const
{
    soxr_delete(s);
}

TResampleStream::TResampleStream(double inRate, double outRate, unsigned channels)
{
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    // One thread: the stream runs on its output's worker, and a second thread
    // would cost more processor time than it saves on a shared machine.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    stream_.reset(soxr_create(inRate, outRate, channels, &error, &io, &quality, &runtime));
    if (error || !stream_)
        fail(error ? error : "cannot be created");
}

TResampleStream::~TResampleStream() = default;

std::size_t TResampleStream::Process(const float* in, std::size_t frames, std::size_t& used, float* out,
                                     std::size_t capacity)
{
    used = 0;
    std::size_t written = 0;
    if (const soxr_error_t error = soxr_process(stream_.get(), in, frames, &used, out, capacity, &written))
        fail(error);
    return written;
}

std::size_t TResampleStream::Drain(float* out, std::size_t capacity)
{
    std::size_t written = 0;
    if (const soxr_error_t error = soxr_process(stream_.get(), nullptr, 0, nullptr, out, capacity, &written))
        fail(error);
    return written;
}

}  // namespace dw
