#include "platform/CdAudioPlayer.h"

#include "platform/CdDrives.h"
#include "platform/NativePath.h"
#include "platform/SdlAudio.h"
#include "platform/ThreadReaper.h"
#include "platform/TestHook.h"

#include <cdio/cdio.h>

#include <QMetaObject>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace dw {

namespace {

constexpr int SectorBytes = CDIO_CD_FRAMESIZE_RAW;  // 2352: 1/75 s of 16-bit stereo 44.1 kHz
constexpr int SectorsPerRead = 25;                  // a third of a second per read
constexpr Uint32 QueueAhead = 44100 * 4;            // keep about a second queued
constexpr Uint16 DeviceSamples = 4096;

// CD audio: 16-bit little-endian stereo at 44100 Hz (SDL converts when the device differs).
sdl::AudioFormat cdAudioFormat()
{
    sdl::AudioFormat want{};
    want.freq = 44100;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = DeviceSamples;
    return want;
}

bool isBlockDevice(const QString& path)
{
    struct stat st {};
    return ::stat(NativePath(path).constData(), &st) == 0 && S_ISBLK(st.st_mode);
}

}  // namespace

namespace {

// Called by the reading thread before each read (tests hold it there).
TTestHook readHook;

}  // namespace

// Where a reading thread reports its end: the player while it exists.
// Posting happens under the mutex and the player clears the pointer under it
// before it goes, so nothing is posted to a player that is gone.
struct TCdAudioPlayer::Link {
    std::mutex mutex;
    TCdAudioPlayer* player = nullptr;
};

// One playback: the disc, the audio device and the thread that reads the
// range into the device's queue. The thread shares the session, so a stop
// never waits for it: a read can take seconds on a drive retrying a sector.
// The thread closes the audio device itself at its end and hands the session
// back to the player's thread, where the audio subsystem reference goes.
class TCdAudioPlayer::Session : public std::enable_shared_from_this<Session> {
public:
    Session(CdioPtr cdio, lsn_t start, lsn_t end) : cdio_(std::move(cdio)), start_(start), end_(end) {}

    // The audio system's reference is taken here, on the player's thread.
    QString openAudio()
    {
        sdl_ = std::make_unique<SdlAudioSubsystem>();
        if (!sdl_->ok())
            return QStringLiteral("cannot start the audio system: ") + QString::fromUtf8(dw::sdl::GetError());
        if (!device_.open(QString(), cdAudioFormat()))
            return QStringLiteral("cannot open the audio device: ") + device_.error();
        return {};
    }

    // Starts reading. At its end (played out or stopped) the thread reports
    // to link's player with the generation and whether the range played out.
    void start(std::shared_ptr<Link> link, quint64 generation)
    {
        started_ = true;
        std::lock_guard device(deviceMutex_);
        device_.pause(paused_);
        Reap(std::thread([self = shared_from_this(), link = std::move(link), generation]() mutable {
            const bool playedOut = self->run();
            {
                std::lock_guard device(self->deviceMutex_);
                self->device_.close();
            }
            std::lock_guard lock(link->mutex);
            if (link->player) {
                // The session is released with this call on the player's thread.
                QMetaObject::invokeMethod(
                    link->player,
                    [self = std::move(self), player = link->player, generation, playedOut]() mutable {
                        self.reset();
                        player->sessionEnded(generation, playedOut);
                    },
                    Qt::QueuedConnection);
            } else if (self.use_count() == 1) {
                // No player's thread to release it on: the audio system's
                // reference is kept for the rest of the process.
                (void)self->sdl_.release();
            }
        }));
    }

    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
    }

    bool started() const { return started_; }
    void setPaused(bool paused)
    {
        paused_ = paused;
        std::lock_guard device(deviceMutex_);
        if (started_)
            device_.pause(paused);
    }
    bool paused() const { return paused_; }
    qint64 queued() const { return queuedBytes_.load(); }

private:
    // Waits up to ms or until stopped; true when stopped.
    bool waitStopped(int ms)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
    }

    // Reads and queues the range, then waits for the device to play it. True
    // when it played to the end (not stopped).
    bool run()
    {
        std::vector<uint8_t> buffer(size_t(SectorsPerRead) * SectorBytes);
        for (lsn_t lsn = start_; lsn < end_;) {
            while (dw::sdl::GetQueuedAudioSize(device_.id()) >= QueueAhead)
                if (waitStopped(20))
                    return false;
            if (waitStopped(0))
                return false;
            const int count = int(std::min<lsn_t>(SectorsPerRead, end_ - lsn));
            readHook.Call();
            // A sector that cannot be read ends the range there.
            if (cdio_read_audio_sectors(cdio_.get(), buffer.data(), lsn, count) != DRIVER_OP_SUCCESS)
                break;
            if (waitStopped(0))
                return false;  // stopped during the read: nothing more reaches the device
            const Uint32 bytes = Uint32(count) * SectorBytes;
            if (dw::sdl::QueueAudio(device_.id(), buffer.data(), bytes) != 0)
                break;
            queuedBytes_ += bytes;
            lsn += count;
        }
        while (dw::sdl::GetQueuedAudioSize(device_.id()) > 0)
            if (waitStopped(10))
                return false;
        // The last block is still in the device's own buffer.
        return !waitStopped(DeviceSamples * 1000 / 44100 + 20);
    }

    std::unique_ptr<SdlAudioSubsystem> sdl_;
    SdlAudioDevice device_;
    std::mutex deviceMutex_;  // the player's pause against the thread's close
    CdioPtr cdio_;
    lsn_t start_, end_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool started_ = false;
    std::atomic<bool> paused_{false};
    std::atomic<qint64> queuedBytes_{0};
};

TCdAudioPlayer::TCdAudioPlayer(QObject* parent) : QObject(parent), link_(std::make_shared<Link>())
{
    link_->player = this;
}

TCdAudioPlayer::~TCdAudioPlayer()
{
    Stop();
    std::lock_guard lock(link_->mutex);
    link_->player = nullptr;
}

void TCdAudioPlayer::SetReadHookForTests(std::function<void()> hook)
{
    readHook.Set(std::move(hook));
}

bool TCdAudioPlayer::Play(const QString& device, int from, int to)
{
    Stop();
    error_.clear();
    CdioPtr cdio = OpenCdio(device);
    if (!cdio) {
        error_ = device + QStringLiteral(": no disc can be read");
        return false;
    }
    const track_t first = cdio_get_first_track_num(cdio.get());
    const track_t count = cdio_get_num_tracks(cdio.get());
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) {
        error_ = device + QStringLiteral(": the table of contents cannot be read");
        return false;
    }
    const int last = first + count - 1;
    if (from < first || from > last || cdio_get_track_format(cdio.get(), track_t(from)) != TRACK_FORMAT_AUDIO) {
        error_ = device + QStringLiteral(": track %1 is not an audio track").arg(from);
        return false;
    }
    // The range ends at the start of `to`, or at the first data track after
    // `from`, or at the lead-out.
    int endTrack = to > from && to <= last ? to : last + 1;
    for (int t = from + 1; t < endTrack; ++t)
        if (cdio_get_track_format(cdio.get(), track_t(t)) != TRACK_FORMAT_AUDIO)
            endTrack = t;
    const lsn_t start = cdio_get_track_lsn(cdio.get(), track_t(from));
    const lsn_t end = endTrack > last ? cdio_get_track_lsn(cdio.get(), CDIO_CDROM_LEADOUT_TRACK)
                                      : cdio_get_track_lsn(cdio.get(), track_t(endTrack));
    if (start == CDIO_INVALID_LSN || end == CDIO_INVALID_LSN || end <= start) {
        error_ = device + QStringLiteral(": the track addresses cannot be read");
        return false;
    }

    session_ = std::make_shared<Session>(std::move(cdio), start, end);
    ++generation_;
    // A stopped playback whose thread is still in a read holds the drive and
    // the audio device: this one starts when that thread reports its end.
    if (endingThreads_ > 0)
        return true;
    return startSession();
}

bool TCdAudioPlayer::startSession()
{
    error_ = session_->openAudio();
    if (!error_.isEmpty()) {
        session_.reset();
        return false;
    }
    ++endingThreads_;
    session_->start(link_, generation_);
    return true;
}

void TCdAudioPlayer::sessionEnded(quint64 generation, bool playedOut)
{
    --endingThreads_;
    if (!session_)
        return;
    if (generation == generation_) {
        session_.reset();
        if (playedOut)
            emit finished();
        return;
    }
    // The playback that waited for this thread starts now. Its audio device
    // can only fail here; that ends it like a playback that played out.
    if (endingThreads_ == 0 && !session_->started() && !startSession())
        emit finished();
}

void TCdAudioPlayer::Pause()
{
    if (session_)
        session_->setPaused(true);
}

void TCdAudioPlayer::Resume()
{
    if (session_)
        session_->setPaused(false);
}

void TCdAudioPlayer::Stop()
{
    if (!session_)
        return;
    // The reading thread ends by itself (at once, or when a slow read returns).
    session_->stop();
    session_.reset();
}

bool TCdAudioPlayer::IsPlaying() const { return session_ != nullptr; }

bool TCdAudioPlayer::IsPaused() const { return session_ && session_->paused(); }

qint64 TCdAudioPlayer::QueuedBytes() const { return session_ ? session_->queued() : 0; }

bool SetCdDoorOpen(const QString& device, bool open)
{
    if (!isBlockDevice(device))
        return true;  // an image has no tray
    const QByteArray native = NativePath(device);
    if (open)
        return cdio_eject_media_drive(native.constData()) == DRIVER_OP_SUCCESS;
    driver_id_t driver = DRIVER_DEVICE;
    return cdio_close_tray(native.constData(), &driver) == DRIVER_OP_SUCCESS;
}

}  // namespace dw
