#include "audio/formats/LoudnessMeter.h"

#include "audio/formats/ConvertSamples.h"
#include "audio/stream/AuException.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dw {

namespace {
// Frames converted to float and handed to libebur128 per call.
constexpr size_t kFramesPerBlock = 4096;
// Bytes queued for the meter's thread before Add waits (about six minutes of
// CD audio): a rip from an image outruns libebur128 (about 1,100 times real
// time), and what is queued is measured while the track is encoded.
constexpr size_t kMaxQueuedBytes = size_t(64) << 20;
}  // namespace

struct TLoudnessMeter::State {
    ebur128_state* st = nullptr;
    State() = default;
    ~State() { ebur128_destroy(&st); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
};

void TLoudnessQueueBudget::Take(size_t n)
{
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [&] { return used_ == 0 || used_ + n <= bytes_; });
    used_ += n;
}

void TLoudnessQueueBudget::Give(size_t n)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        used_ -= std::min(n, used_);
    }
    changed_.notify_all();
}

size_t TLoudnessQueueBudget::Used()
{
    std::lock_guard<std::mutex> lock(lock_);
    return used_;
}

TLoudnessMeter::TLoudnessMeter(uint32_t channels, uint32_t sampleRate, uint32_t bitsPerSample,
                               std::shared_ptr<TLoudnessQueueBudget> budget)
    : budget_(std::move(budget)), channels_(channels), bytesPerSample_(bitsPerSample / 8), frameBytes_(channels * (bitsPerSample / 8))
{
    if (channels == 0 || channels > kMaxChannels || sampleRate < kMinSampleRate || sampleRate > kMaxSampleRate
        || !IsSupportedPcmWidth(int(bitsPerSample)))
        throw EAuException("Unsupported sample format");
    state_ = std::make_unique<State>();
    state_->st = ebur128_init(channels, sampleRate, EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
    if (!state_->st)
        throw EAuException("Out of memory while setting up the loudness measurement");
    carry_.reserve(frameBytes_);
    floats_.resize(kFramesPerBlock * channels_);
}

TLoudnessMeter::~TLoudnessMeter()
{
    drain();
}

void TLoudnessMeter::Add(const void* data, size_t bytes)
{
    const auto* p = static_cast<const uint8_t*>(data);
    if (!p || bytes == 0)
        return;
    std::vector<uint8_t> piece(p, p + bytes);
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (failure_)
            std::rethrow_exception(failure_);
    }
    // The budget is waited for outside the meter's lock: this meter's own
    // thread (and other meters') give back what they have measured meanwhile.
    if (budget_)
        budget_->Take(piece.size());
    std::unique_lock<std::mutex> lock(lock_);
    if (!budget_)
        changed_.wait(lock, [this] { return queuedBytes_ < kMaxQueuedBytes || failure_; });
    if (failure_) {
        if (budget_)
            budget_->Give(piece.size());
        std::rethrow_exception(failure_);
    }
    queuedBytes_ += piece.size();
    queue_.push_back(std::move(piece));
    if (!thread_.joinable()) {
        ending_ = false;
        thread_ = std::thread([this] { run(); });
    }
    changed_.notify_all();
}

void TLoudnessMeter::run()
{
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        changed_.wait(lock, [this] { return !queue_.empty() || ending_; });
        if (queue_.empty())
            return;  // ending, and everything is measured
        std::vector<uint8_t> piece = std::move(queue_.front());
        queue_.pop_front();
        const bool failedBefore = bool(failure_);  // nothing more is measured after a failure
        lock.unlock();
        std::exception_ptr failed;
        if (!failedBefore) {
            try {
                measure(piece.data(), piece.size());
            } catch (...) {
                failed = std::current_exception();
            }
        }
        lock.lock();
        if (failed)
            failure_ = failed;
        queuedBytes_ -= piece.size();
        if (budget_)
            budget_->Give(piece.size());
        changed_.notify_all();
    }
}

bool TLoudnessMeter::drain()
{
    std::thread ended;
    {
        std::lock_guard<std::mutex> lock(lock_);
        ending_ = true;
        changed_.notify_all();
        ended = std::move(thread_);
    }
    if (ended.joinable())
        ended.join();
    std::lock_guard<std::mutex> lock(lock_);
    return !failure_;
}

void TLoudnessMeter::measure(const uint8_t* p, size_t bytes)
{
    // Complete a frame split by the last piece first.
    if (!carry_.empty()) {
        const size_t take = std::min(bytes, size_t(frameBytes_) - carry_.size());
        carry_.insert(carry_.end(), p, p + take);
        p += take;
        bytes -= take;
        if (carry_.size() < frameBytes_)
            return;
        addWholeFrames(carry_.data(), 1);
        carry_.clear();
    }
    const size_t whole = bytes / frameBytes_;
    addWholeFrames(p, whole);
    carry_.assign(p + whole * frameBytes_, p + bytes);
}

void TLoudnessMeter::addWholeFrames(const uint8_t* data, size_t frames)
{
    while (frames > 0) {
        const size_t n = std::min(frames, kFramesPerBlock);
        PcmToFloat(data, floats_.data(), n * channels_, int(bytesPerSample_));
        if (ebur128_add_frames_float(state_->st, floats_.data(), n) != EBUR128_SUCCESS)
            throw EAuException("Out of memory while measuring loudness");
        data += n * frameBytes_;
        frames -= n;
        frames_ += n;
    }
}

uint64_t TLoudnessMeter::Frames()
{
    drain();
    return frames_;
}

double TLoudnessMeter::peak()
{
    double out = 0.0;
    for (uint32_t c = 0; c < channels_; ++c) {
        double p = 0.0;
        if (ebur128_sample_peak(state_->st, c, &p) == EBUR128_SUCCESS)
            out = std::max(out, p);
    }
    return out;
}

TLoudness TLoudnessMeter::Result()
{
    return Combine({this});
}

TLoudness TLoudnessMeter::Combine(const std::vector<TLoudnessMeter*>& meters)
{
    TLoudness out;
    std::vector<ebur128_state*> states;
    states.reserve(meters.size());
    for (TLoudnessMeter* m : meters) {
        if (!m)
            continue;
        if (!m->drain())
            return {};  // a piece could not be measured: no values rather than wrong ones
        states.push_back(m->state_->st);
        out.peak = std::max(out.peak, m->peak());
    }
    double lufs = -HUGE_VAL;
    if (!states.empty() && ebur128_loudness_global_multiple(states.data(), states.size(), &lufs) == EBUR128_SUCCESS
        && std::isfinite(lufs)) {
        out.measured = true;
        out.integratedLufs = lufs;
    }
    return out;
}

}  // namespace dw
