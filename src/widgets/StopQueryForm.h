#pragma once
// TfrmStopQuery: the small modal window a CDDB lookup runs under. Showing it
// starts the query thread (cddb/QueryCDDBThread.h); the window keeps its
// event loop running while the request is under way and ends when the thread
// reports:
//   finished (7)  - the window closes with Accepted; Outcome() says what was
//                   found (or why nothing was);
//   not found (6) - the hint panel ("No match found,perhaps:" and three
//                   causes, one line each) replaces "Query CDDB...", the reason the
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
#include <memory>

class QFrame;
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
    // Any lookup (the screenshot tool runs one that needs no network).
    TfrmStopQuery(TQueryCDDBThread::Lookup lookup, QWidget* parent = nullptr);
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

    TQueryCDDBThread::Lookup lookup_;  // empty: drive mode with the values below
    uint8_t first_ = 0;
    uint8_t last_ = 0;
    int handle_ = 0;
    std::unique_ptr<TQueryCDDBThread> thread_;
    CddbLookupOutcome outcome_;
    bool started_ = false;
    bool notFound_ = false;

    QLabel* lHint = nullptr;
    QProgressBar* pbQuery = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* lReason = nullptr;
    QPushButton* bStop = nullptr;
};

}  // namespace dw
