#include "widgets/StopQueryForm.h"

#include "app/JobEvents.h"
#include "app/Settings.h"
#include "cddb/CddbLookup.h"
#include "widgets/CddbMatchForm.h"
#include "widgets/TranslateForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace dw {

TfrmStopQuery::TfrmStopQuery(uint8_t firstTrack, uint8_t lastTrack, int handle, QWidget* parent)
    : TranslatedDialog(parent), first_(firstTrack), last_(lastTrack), handle_(handle)
{
    build();
}

TfrmStopQuery::TfrmStopQuery(TQueryCDDBThread::Lookup lookup, QWidget* parent, ReadMatch readMatch)
    : TranslatedDialog(parent), lookup_(std::move(lookup)), readMatch_(std::move(readMatch))
{
    build();
}

// The thread, when still running, is abandoned: it ends by itself and posts
// nothing to this window.
TfrmStopQuery::~TfrmStopQuery() = default;

void TfrmStopQuery::build()
{
    setObjectName(QStringLiteral("frmStopQuery"));
    setWindowTitle(QStringLiteral("Query CDDB"));

    lHint = new QLabel(QStringLiteral("Query CDDB..."), this);
    lHint->setObjectName(QStringLiteral("lHint"));

    // A busy bar: the server does not say how far along it is.
    pbQuery = new QProgressBar(this);
    pbQuery->setObjectName(QStringLiteral("pbQuery"));
    pbQuery->setRange(0, 0);
    pbQuery->setTextVisible(false);

    // The hint shown when the server knows no entry: a panel whose caption
    // is the whole hint, so the language file replaces it under one key.
    Panel1 = new QLabel(QStringLiteral("No match found,perhaps:\n1.No information in CDDB server\n"
                                       "2.error CDDB options\n3.check the network"),
                        this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setContentsMargins(8, 6, 8, 6);
    Panel1->setWordWrap(true);
    Panel1->setVisible(false);

    // The server's own words (plain English), under the hint panel.
    lReason = new QLabel(this);
    lReason->setObjectName(QStringLiteral("lReason"));
    lReason->setProperty(NoTranslateProperty, true);
    lReason->setWordWrap(true);
    lReason->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lReason->setVisible(false);

    bStop = new QPushButton(QStringLiteral("Stop"), this);
    bStop->setObjectName(QStringLiteral("bStop"));
    bStop->setDefault(true);
    connect(bStop, &QPushButton::clicked, this, &TfrmStopQuery::bStopClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bStop);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lHint);
    layout->addWidget(pbQuery);
    layout->addWidget(Panel1);
    layout->addWidget(lReason);
    layout->addLayout(buttons);
    setMinimumWidth(300);
}

void TfrmStopQuery::showEvent(QShowEvent* event)
{
    TranslatedDialog::showEvent(event);
    if (started_)
        return;
    started_ = true;
    if (!lookup_) {
        // Drive mode: the query, then the entry the user chooses.
        SetCddbOptions(AppSettings);
        const int handle = handle_, first = first_, last = last_;
        lookup_ = [=](const std::atomic<bool>* stop) {
            return RunDriveCddbLookup(handle, first, last, CddbChooseMatch, stop);
        };
        readMatch_ = [=](const CddbLookupOutcome& query, int match, const std::atomic<bool>* stop) {
            return ReadDriveCddbMatch(query, match, first, last, stop);
        };
    }
    thread_ = std::make_unique<TQueryCDDBThread>(lookup_, this);
}

void TfrmStopQuery::customEvent(QEvent* event)
{
    if (event->type() == WM_CDDB_RESULT) {
        cddbResult(static_cast<CddbResultEvent*>(event)->result());
        return;
    }
    TranslatedDialog::customEvent(event);
}

void TfrmStopQuery::cddbResult(int result)
{
    if (!thread_)
        return;
    outcome_ = thread_->Outcome();
    pbQuery->setVisible(false);
    if (result == CDDB_RESULT_NOT_FOUND) {
        notFound_ = true;
        lHint->setVisible(false);
        Panel1->setVisible(true);
        lReason->setText(outcome_.error);
        lReason->setVisible(!outcome_.error.isEmpty());
        bStop->setText(QStringLiteral("Close"));
        // A translated hint may take more lines than the English one: the
        // window grows to show it whole at its width.
        layout()->activate();
        const int h = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width()) : sizeHint().height();
        resize(width(), std::max(height(), h));
        return;
    }
    if (readMatch_ && outcome_.kind == CddbLookupOutcome::Finished && !outcome_.hasValues && outcome_.chosen < 0 &&
        outcome_.matches.size() > 1) {
        if (!chooseMatch())
            reject();
        return;
    }
    accept();
}

bool TfrmStopQuery::chooseMatch()
{
    TfrmCddbMatch choose(outcome_.matches, this);
    if (choose.exec() != QDialog::Accepted || choose.Chosen() < 0 || !isVisible())
        return false;
    // The entry is read on a thread of its own; its result comes back here.
    pbQuery->setVisible(true);
    auto read = [readMatch = readMatch_, query = outcome_, match = choose.Chosen()](const std::atomic<bool>* stop) {
        return readMatch(query, match, stop);
    };
    thread_ = std::make_unique<TQueryCDDBThread>(std::move(read), this);
    return true;
}

void TfrmStopQuery::bStopClick()
{
    reject();
}

void TfrmStopQuery::reject()
{
    // Stop returns at once; the thread's request ends within 200 ms on its own.
    if (thread_)
        thread_->Stop();
    TranslatedDialog::reject();
}

}  // namespace dw
