#include "widgets/RipForm.h"

#include "widgets/FlatGauge.h"
#include "widgets/JobWindowPlacement.h"
#include "widgets/TranslateForm.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace dw {

namespace {

QLabel* label(QWidget* parent, const char* name, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

}  // namespace

TRipForm::TRipForm(QWidget* owner)
    : TranslatedDialog(owner),
      owner_(owner),
      GroupBox1(new QGroupBox(QStringLiteral("Extracting"), this)),
      FlatGauge1(new FlatGauge(GroupBox1)),
      Label3(label(GroupBox1, "Label3", QStringLiteral("Initializing..."))),
      Label1(label(GroupBox1, "Label1", QString())),
      Label2(label(GroupBox1, "Label2", QString())),
      btStop(new QPushButton(QStringLiteral("Stop"), this))
{
    setObjectName(QStringLiteral("RipForm"));
    setWindowTitle(QStringLiteral("Extracting"));
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    FlatGauge1->setObjectName(QStringLiteral("FlatGauge1"));
    btStop->setObjectName(QStringLiteral("btStop"));
    Label1->setProperty(NoTranslateProperty, true);  // values, not captions
    Label2->setProperty(NoTranslateProperty, true);

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setFixedSize(32, 32);
    image->setPixmap(style()->standardIcon(QStyle::SP_DriveCDIcon).pixmap(32, 32));

    auto* grid = new QGridLayout(GroupBox1);
    grid->addWidget(Label3, 0, 0, 1, 2);
    grid->addWidget(FlatGauge1, 1, 0, 1, 2);
    grid->addWidget(label(GroupBox1, "Label10", QStringLiteral("Time elapsed:")), 2, 0);
    grid->addWidget(Label1, 2, 1);
    grid->addWidget(label(GroupBox1, "Label20", QStringLiteral("Time estimated:")), 3, 0);
    grid->addWidget(Label2, 3, 1);
    grid->setColumnStretch(1, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(image, 0, Qt::AlignTop);
    top->addWidget(GroupBox1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btStop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    FlatGauge1->setShowPercent(false);
    connect(btStop, &QPushButton::clicked, this, &TRipForm::requestStop);
}

void TRipForm::appear()
{
    if (closed_ || isVisible())
        return;
    if (!placed_) {
        placed_ = true;
        CentreOver(this, owner_);
    }
    setModal(true);
    show();
}

void TRipForm::RunModal()
{
    if (closed_)
        return;
    if (!placed_) {
        placed_ = true;
        CentreOver(this, owner_);
    }
    exec();
}

void TRipForm::StageStarted(const TJobStage& stage)
{
    setWindowTitle(stage.Caption());
    appear();
}

void TRipForm::Heading(const QString& text)
{
    GroupBox1->setTitle(text);
    appear();
}

void TRipForm::StatusText(const QString& text, bool visible)
{
    if (!text.isEmpty())
        Label3->setText(text);
    Label3->setVisible(visible);
    appear();
}

void TRipForm::Gauge(int percent)
{
    FlatGauge1->setProgress(percent);
}

void TRipForm::ShowPercent(bool show)
{
    FlatGauge1->setShowPercent(show);
}

void TRipForm::Times(const QString& elapsed, const QString& estimated)
{
    Label1->setText(elapsed);
    Label2->setText(estimated);
}

void TRipForm::Closed()
{
    if (closed_)
        return;
    closed_ = true;
    done(QDialog::Accepted);
}

void TRipForm::requestStop()
{
    if (!closed_ && StopRequested)
        StopRequested();
    // An engine that has nothing left to stop may not report; close anyway.
    Closed();
}

void TRipForm::closeEvent(QCloseEvent* event)
{
    requestStop();
    event->accept();
}

void TRipForm::keyPressEvent(QKeyEvent* event)
{
    // Escape is a close request like the title bar's, so it stops the job too.
    if (event->key() == Qt::Key_Escape) {
        requestStop();
        return;
    }
    TranslatedDialog::keyPressEvent(event);
}

}  // namespace dw
