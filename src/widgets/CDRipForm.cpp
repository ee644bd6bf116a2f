#include "widgets/CDRipForm.h"

#include "app/Helpers.h"
#include "app/Settings.h"
#include "platform/Dialogs.h"
#include "widgets/FlatGauge.h"
#include "widgets/JobWindowPlacement.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dw {

namespace {

QLabel* named(QWidget* parent, const char* name, const QString& text = QString())
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

}  // namespace

TfrmCDRip::TfrmCDRip(QWidget* owner)
    : QDialog(owner),
      owner_(owner),
      lCurrentTrack(named(this, "lCurrentTrack")),
      lOutputFormat(named(this, "lOutputFormat", OutputFormatName(AppSettings.OutputFormat))),
      lSelectedTracks(named(this, "lSelectedTracks")),
      lCompleted(named(this, "lCompleted", QStringLiteral("0"))),
      lProgressHint(named(this, "lProgressHint", QStringLiteral("Extracting..."))),
      ProgressBar2(new FlatGauge(this)),
      bStop(new QPushButton(QStringLiteral("Stop"), this))
{
    setObjectName(QStringLiteral("frmCDRip"));
    setWindowTitle(ProductCaption());
    ProgressBar2->setObjectName(QStringLiteral("ProgressBar2"));
    ProgressBar2->setShowPercent(true);
    bStop->setObjectName(QStringLiteral("bStop"));

    auto* form = new QFormLayout;
    form->addRow(named(this, "Label1", QStringLiteral("Current track:")), lCurrentTrack);
    form->addRow(named(this, "Label2", QStringLiteral("Output format:")), lOutputFormat);
    form->addRow(named(this, "Label3", QStringLiteral("Selected tracks:")), lSelectedTracks);
    form->addRow(named(this, "Label4", QStringLiteral("Completed:")), lCompleted);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bStop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(6);
    layout->addWidget(lProgressHint);
    layout->addWidget(ProgressBar2);
    layout->addLayout(buttons);
    setMinimumWidth(400);
    connect(bStop, &QPushButton::clicked, this, &TfrmCDRip::requestStop);
}

void TfrmCDRip::appear()
{
    if (closed_ || isVisible())
        return;
    CentreOver(this, owner_);
    setModal(true);
    show();
}

void TfrmCDRip::StageStarted(const TJobStage& stage)
{
    lCurrentTrack->setText(stage.name);
    lSelectedTracks->setText(QString::number(stage.count));
    appear();
}

void TfrmCDRip::Heading(const QString& text)
{
    lProgressHint->setText(text);
    appear();
}

void TfrmCDRip::StatusText(const QString& text, bool visible)
{
    if (!text.isEmpty())
        ProgressBar2->setToolTip(text);
}

void TfrmCDRip::Gauge(int percent)
{
    ProgressBar2->setProgress(percent);
}

void TfrmCDRip::ShowPercent(bool show)
{
    ProgressBar2->setShowPercent(show);
}

void TfrmCDRip::ItemFinished(const TJobItemResult& result)
{
    lCompleted->setText(QString::number(++completed_));
}

void TfrmCDRip::Closed()
{
    if (closed_)
        return;
    closed_ = true;
    done(QDialog::Accepted);
}

void TfrmCDRip::requestStop()
{
    if (!closed_ && StopRequested)
        StopRequested();
    Closed();
}

void TfrmCDRip::closeEvent(QCloseEvent* event)
{
    requestStop();
    event->accept();
}

void TfrmCDRip::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        requestStop();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace dw
