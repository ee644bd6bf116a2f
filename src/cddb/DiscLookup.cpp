#include "cddb/DiscLookup.h"

#include "app/JobEvents.h"
#include "cd/CDIn.h"
#include "cddb/CDDBInfo.h"
#include "cddb/QueryCDDBThread.h"

#include <exception>

namespace dw {

namespace {

// What identifies the listed disc beside its key: track numbers and lengths.
QStringList trackFingerprint(const DiscListing& listing)
{
    QStringList out;
    for (const TrackRow& row : listing.Rows)
        out << QString::number(row.track) + ' ' + row.length;
    return out;
}

CddbLookupOutcome failed(const QString& error)
{
    CddbLookupOutcome out;
    out.kind = CddbLookupOutcome::Failed;
    out.error = error;
    out.discId = QStringLiteral("ffffffff");
    return out;
}

// The client for component with the options' server; a failure text when
// the options name no usable server.
QString configure(TCDDBInfo& client, TCDIn& component, const TStoredOptions& options, const TRipperCddbSetup& setup)
{
    client.CDIn = &component;
    if (!ConfigureCddbClient(client, options))
        return QStringLiteral("the CDDB server setting names no HTTP server: ") + options.Server;
    client.Http.connectTimeoutMs = setup.connectTimeoutMs;
    client.Http.totalTimeoutMs = setup.totalTimeoutMs;
    return {};
}

}  // namespace

TCddbMode CddbModeFor(const DiscListing& listing)
{
    return listing.CDHandle != 0 ? TCddbMode::Drive : TCddbMode::Ripper;
}

CddbLookupOutcome RunRipperModeLookup(TCDIn& component, const TStoredOptions& options, const TCancelToken& token,
                                      const TRipperCddbSetup& setup)
{
    try {
        TCDDBInfo client;
        if (const QString problem = configure(client, component, options, setup); !problem.isEmpty())
            return failed(problem);
        client.Http.stop = token.Flag();
        const CddbToc disc = client.ReadDisc();
        return RunRipperCddbLookup(client, disc);
    } catch (const std::exception& e) {
        return failed(QString::fromUtf8(e.what()));
    }
}

TRipperCddbLookup::TRipperCddbLookup(QObject* parent) : QObject(parent) {}

TRipperCddbLookup::~TRipperCddbLookup()
{
    Cancel();
}

bool TRipperCddbLookup::Start(const DiscListing& listing, TCDIn& component, const TStoredOptions& options,
                              const TCancelToken& token, QString* why)
{
    const auto refuse = [why](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (Busy())
        return refuse(QStringLiteral("a CDDB lookup is under way"));
    try {
        TCDDBInfo client;
        if (const QString problem = configure(client, component, options, {}); !problem.isEmpty())
            return refuse(problem);
        const CddbToc disc = client.ReadDisc();
        token_ = TCancelToken();
        const TCancelToken mine = token_;
        onCancel_ = std::make_unique<TCancelCallback>(token, [mine] { mine.Cancel(); });
        discKey_ = listing.DiscKey;
        tracks_ = trackFingerprint(listing);
        const CddbServer server = client.Server;
        const HttpOptions http = client.Http;
        thread_ = std::make_unique<TQueryCDDBThread>(
            [server, http, disc, mine](const std::atomic<bool>*) {
                TCDDBInfo worker;
                worker.Server = server;
                worker.Http = http;
                worker.Http.stop = mine.Flag();
                return RunRipperCddbLookup(worker, disc);
            },
            this);
        return true;
    } catch (const std::exception& e) {
        Cancel();
        return refuse(QString::fromUtf8(e.what()));
    }
}

void TRipperCddbLookup::Cancel()
{
    token_.Cancel();
    thread_.reset();  // no event follows; the worker ends with the cancelled request
    onCancel_.reset();
}

bool TRipperCddbLookup::SameDisc(const DiscListing& listing) const
{
    return listing.DiscKey == discKey_ && trackFingerprint(listing) == tracks_;
}

void TRipperCddbLookup::customEvent(QEvent* event)
{
    if (event->type() != WM_CDDB_RESULT) {
        QObject::customEvent(event);
        return;
    }
    if (!thread_)
        return;
    const bool cancelled = token_.IsCancelled();
    const CddbLookupOutcome outcome = thread_->Outcome();
    thread_.reset();
    onCancel_.reset();
    if (!cancelled)
        emit finished(outcome);
}

}  // namespace dw
