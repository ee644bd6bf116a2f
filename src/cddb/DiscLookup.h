#pragma once
// The query command's choice and its ripper-mode lookup, for the main window
// and `discwright-cli cddb` alike.
//
// A listed disc gets the drive-mode lookup when its listing holds a drive
// library handle, otherwise the ripper-mode one: the disc read through the
// CD input component (on the thread that owns it), then the HTTP client's
// query and the read of the first match with the server and proxy of the
// stored options. A TCancelToken ends the network part within 200 ms.
//
//   TRipperCddbLookup lookup;                 // main thread
//   connect(&lookup, &TRipperCddbLookup::finished, ...);
//   lookup.Start(listing, component, options, token);
//   ... finished(outcome) arrives on the main thread, unless cancelled.
//
// RunRipperModeLookup is the same lookup run to its end on the calling
// thread (the command line runs it on a worker and cancels on a signal).

#include "app/Settings.h"
#include "cd/DiscListing.h"
#include "cddb/CddbLookup.h"
#include "platform/CancelToken.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace dw {

class TCDIn;
class TCDDBInfo;
class TQueryCDDBThread;

enum class TCddbMode { Drive, Ripper };

// Drive mode when the listing holds a drive-library handle, ripper mode otherwise.
TCddbMode CddbModeFor(const DiscListing& listing);

// The time-outs of the ripper-mode client (its server, script and proxy come
// from the options).
struct TRipperCddbSetup {
    int connectTimeoutMs = 10000;
    int totalTimeoutMs = 20000;
};

// Reads the disc through component (its thread), then looks it up. Any
// thread that may use component. Failed when the options name no usable
// server or the disc cannot be read; Stopped when the token was cancelled.
CddbLookupOutcome RunRipperModeLookup(TCDIn& component, const TStoredOptions& options, const TCancelToken& token,
                                      const TRipperCddbSetup& setup = {});

// The ripper-mode lookup with its network part on a worker thread. Main
// thread only; finished() is delivered there.
class TRipperCddbLookup : public QObject {
    Q_OBJECT
public:
    explicit TRipperCddbLookup(QObject* parent = nullptr);
    ~TRipperCddbLookup() override;

    // Reads the disc of listing through component and starts the lookup.
    // False (nothing started, *why says why) when the options name no usable
    // server, the disc cannot be read or a lookup is under way. Cancelling
    // token abandons it as Cancel() does.
    bool Start(const DiscListing& listing, TCDIn& component, const TStoredOptions& options,
               const TCancelToken& token = TCancelToken(), QString* why = nullptr);
    bool Busy() const { return thread_ != nullptr; }
    // Abandons the lookup: no finished() follows; its worker ends by itself.
    void Cancel();
    // Whether the listing still shows the disc the lookup was started for
    // (same disc key, track numbers and lengths).
    bool SameDisc(const DiscListing& listing) const;

signals:
    void finished(const dw::CddbLookupOutcome& outcome);

protected:
    void customEvent(QEvent* event) override;

private:
    std::unique_ptr<TQueryCDDBThread> thread_;
    TCancelToken token_;
    std::unique_ptr<TCancelCallback> onCancel_;
    QString discKey_;
    QStringList tracks_;
};

}  // namespace dw
