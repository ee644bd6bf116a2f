#pragma once
// TfrmStopQuery: the small modal window a CDDB lookup runs under. Showing it
// starts the query thread (cddb/QueryCDDBThread.h); the window keeps its
// event loop running while the request is under way and ends when the thread
// reports:
//   finished (7)  - the window closes with Accepted; Outcome() says what was
//                   found (or why nothing was);
//   several matches and nothing read yet (drive mode) - the match list
//                   (TfrmCddbMatch) asks which one; Cancel there closes this
//                   window with Rejected, otherwise a second thread reads the
//                   chosen entry under the same busy bar and Stop, and its
//                   result ends the window as above;
//   not found (6) - the hint panel ("No match found,perhaps:" and three
//                   causes, one line each; a translation gives the whole hint
//                   as one text) replaces "Query CDDB...", the reason the
//                   server gave stands under it and "Stop" becomes "Close".
// Stop (or closing the window) while the thread runs abandons it at once
// without waiting; the window closes with Rejected and nothing is written.
//
// The window never writes the track list or the disc values itself: whoever
// opened it applies Outcome() after a finished result.
//
// Main thread only.

#include "cddb/QueryCDDBThread.h"
#include "widgets/TranslatedDialog.h"

#include <cstdint>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

namespace dw {

class TfrmStopQuery : public TranslatedDialog {
    Q_OBJECT
public:
    // Drive mode: the disc of handle with tracks first..last; the drive
    // library's options are set from the settings when the window is shown.
    TfrmStopQuery(uint8_t firstTrack, uint8_t lastTrack, int handle, QWidget* parent = nullptr);
    // Reads the entry of one match of a first result that left the choice
    // open; it must watch the stop flag it is given.
    using ReadMatch = std::function<CddbLookupOutcome(const CddbLookupOutcome& first, int match,
                                                      const std::atomic<bool>* stop)>;
    // Any lookup (the screenshot tool runs one that needs no network); with
    // readMatch, a result with several matches and no values asks the user.
    TfrmStopQuery(TQueryCDDBThread::Lookup lookup, QWidget* parent = nullptr, ReadMatch readMatch = {});
    ~TfrmStopQuery() override;

    // What the lookup found; meaningful after a result arrived.
    const CddbLookupOutcome& Outcome() const { return outcome_; }
    // True once the thread reported "not found".
    bool NotFound() const { return notFound_; }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    void build();
    void bStopClick();
    void cddbResult(int result);
    bool chooseMatch();

    TQueryCDDBThread::Lookup lookup_;  // empty: drive mode with the values below
    ReadMatch readMatch_;
    uint8_t first_ = 0;
    uint8_t last_ = 0;
    int handle_ = 0;
    std::unique_ptr<TQueryCDDBThread> thread_;
    CddbLookupOutcome outcome_;
    bool started_ = false;
    bool notFound_ = false;

    QLabel* lHint = nullptr;
    QProgressBar* pbQuery = nullptr;
    QLabel* Panel1 = nullptr;
    QLabel* lReason = nullptr;
    QPushButton* bStop = nullptr;
};

}  // namespace dw
