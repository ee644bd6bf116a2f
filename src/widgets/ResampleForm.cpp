#include "widgets/ResampleForm.h"

#include "app/Settings.h"
#include "audio/formats/WaveIn.h"
#include "audio/stream/AuException.h"
#include "platform/Dialogs.h"
#include "widgets/SpinEdit.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace dw {

namespace {

QLabel* valueLabel(const char* name, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setMinimumWidth(160);
    return l;
}

// A row caption with a name of its own (the window names every control as its
// description does).
QLabel* caption(const char* name, const char* text, QWidget* parent)
{
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QPushButton* button(const char* name, const char* text, QWidget* parent)
{
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

}  // namespace

TfrmResample::TfrmResample(QWidget* parent)
    : QDialog(parent),
      ProgressBar1(new QProgressBar(this)),
      GroupBox1(new QGroupBox(QStringLiteral("Input File Parameters"), this)),
      lbInFileName(valueLabel("lbInFileName", GroupBox1)),
      lbInChannels(valueLabel("lbInChannels", GroupBox1)),
      lbInSampleRate(valueLabel("lbInSampleRate", GroupBox1)),
      lbInBits(valueLabel("lbInBits", GroupBox1)),
      lbInEncoding(valueLabel("lbInEncoding", GroupBox1)),
      GroupBox2(new QGroupBox(QStringLiteral(" Output File Parameters "), this)),
      lbOutFileName(valueLabel("lbOutFileName", GroupBox2)),
      SpinEdit1(new SpinEdit(1, 2, 1, GroupBox2)),
      Edit1(new QLineEdit(QStringLiteral("22050"), GroupBox2)),
      SpinEdit2(new SpinEdit(8, 32, 8, GroupBox2)),
      ComboBox1(new QComboBox(GroupBox2)),
      btInput(button("btInput", "Input File...", this)),
      btOutput(button("btOutput", "Output File...", this)),
      btConvert(button("btConvert", "Convert", this)),
      btAbort(button("btAbort", "Abort", this)),
      btClose(button("btClose", "Close", this)),
      StatusBar1(new QStatusBar(this))
{
    setObjectName(QStringLiteral("frmResample"));
    setModal(true);
    setWindowTitle(QStringLiteral("Wave File Converter"));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    SpinEdit2->setObjectName(QStringLiteral("SpinEdit2"));
    SpinEdit2->setSingleStep(8);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("RAW PCM"), QStringLiteral("DVI IMA ADPCM")});
    ComboBox1->setCurrentIndex(0);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);

    auto* in = new QFormLayout(GroupBox1);
    in->addRow(caption("Label1", "File Name", GroupBox1), lbInFileName);
    in->addRow(caption("Label2", "Channels:", GroupBox1), lbInChannels);
    in->addRow(caption("Label3", "Sample Rate:", GroupBox1), lbInSampleRate);
    in->addRow(caption("Label4", "Bits Per Sample:", GroupBox1), lbInBits);
    in->addRow(caption("Label5", "Encoding", GroupBox1), lbInEncoding);
    auto* out = new QFormLayout(GroupBox2);
    out->addRow(caption("Label6", "File Name", GroupBox2), lbOutFileName);
    out->addRow(caption("Label7", "Channels:", GroupBox2), SpinEdit1);
    out->addRow(caption("Label8", "Sample Rate:", GroupBox2), Edit1);
    out->addRow(caption("Label9", "Bits Per Sample:", GroupBox2), SpinEdit2);
    out->addRow(caption("Label10", "Encoding", GroupBox2), ComboBox1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(GroupBox1);
    groups->addWidget(GroupBox2);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btInput, btOutput, btConvert, btAbort, btClose})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ProgressBar1);
    layout->addLayout(groups);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar1);

    connect(btInput, &QPushButton::clicked, this, &TfrmResample::InputFileClick);
    connect(btOutput, &QPushButton::clicked, this, &TfrmResample::OutputFileClick);
    connect(btConvert, &QPushButton::clicked, this, &TfrmResample::ConvertClick);
    connect(btAbort, &QPushButton::clicked, this, &TfrmResample::AbortClick);
    connect(btClose, &QPushButton::clicked, this, &QDialog::close);
}

TfrmResample::~TfrmResample()
{
    if (conversion_)
        conversion_->Output().Stop(false);
}

bool TfrmResample::Converting() const
{
    return conversion_ && conversion_->Output().IsBusy();
}

void TfrmResample::InputFileClick()
{
    const QString file = CurrentDialogs().chooseOpenFile(QStringLiteral("Open"), QString(), "Wave Files|*.wav");
    if (file.isEmpty())
        return;
    inPath_ = file;
    showInput(file);
}

void TfrmResample::showInput(const QString& path)
{
    TWaveIn in;
    in.SetFileName(path);
    if (!in.IsValid())
        return;  // the fields keep what they showed
    lbInFileName->setText(QFileInfo(path).fileName());
    lbInChannels->setText(QString::number(in.GetChannels()));
    lbInSampleRate->setText(QString::number(in.GetSampleRate()));
    lbInBits->setText(QString::number(in.GetBitsPerSample()));
    lbInEncoding->setText(QString::fromLatin1(WavTypeName(in.GetWavType())));
}

void TfrmResample::OutputFileClick()
{
    const QString file = CurrentDialogs().chooseSaveFile(QStringLiteral("Save As"), QString(),
                                                         "Wave Files|*.wav|Windows Media Files|*.wma", QString());
    if (file.isEmpty() || QFileInfo(file).suffix().toLower() != QLatin1String("wav"))
        return;
    outPath_ = file;
    lbOutFileName->setText(QFileInfo(file).fileName());
}

void TfrmResample::ConvertClick()
{
    Dialogs& dialogs = CurrentDialogs();
    if (Converting())
        return;
    if (outPath_.isEmpty()) {
        dialogs.error(QStringLiteral("The output file name is not set!"));
        return;
    }
    const auto channels = uint32_t(SpinEdit1->value());
    const auto bits = uint32_t(SpinEdit2->value());
    bool isInt = false;
    const int rate = Edit1->text().toInt(&isInt);
    if (!isInt) {
        dialogs.error(QString("'%1' is not a valid integer value").arg(Edit1->text()));
        return;
    }
    TWaveIn in;
    if (inPath_.isEmpty())
        return;
    in.SetFileName(inPath_);
    if (!in.IsValid())
        return;

    // What equals the input is left as it is; the rate always goes to the resampler.
    TWaveConversionSettings settings;
    settings.inPath = inPath_;
    settings.outPath = outPath_;
    settings.channels = channels != in.GetChannels() ? channels : 0;
    settings.bits = bits != in.GetBitsPerSample() ? bits : 0;
    settings.sampleRate = uint32_t(std::max(rate, 0));
    settings.encoding = ComboBox1->currentIndex() == 1 ? wtDVIADPCM : wtPCM;
    settings.overwrite = true;  // the window writes the file its save chooser named
    settings.dither = DitherModeOf(AppSettings.WaveDither);

    conversion_.reset();
    auto conversion = std::make_unique<TWaveConversion>(settings);
    const QString problem = conversion->Prepare();
    if (!problem.isEmpty()) {
        StatusBar1->showMessage(problem);
        return;
    }
    TWaveOut& output = conversion->Output();
    output.OnProgress = [this](TAuOutput* o) { ProgressBar1->setValue(std::clamp(o->Progress(), 0, 100)); };
    output.OnThreadException = [this](TAuOutput* o) { StatusBar1->showMessage(o->GetExceptionMessage()); };
    output.OnDone = [this](TAuOutput*) { conversionDone(); };
    conversion_ = std::move(conversion);
    btConvert->setEnabled(false);
    StatusBar1->showMessage(QStringLiteral("Converting..."));
    try {
        output.Run();
    } catch (const EAuException& e) {
        btConvert->setEnabled(true);
        StatusBar1->showMessage(e.Message());
    }
}

void TfrmResample::conversionDone()
{
    btConvert->setEnabled(true);
    ProgressBar1->setValue(100);
    if (conversion_ && conversion_->Output().GetExceptionMessage().isEmpty())
        StatusBar1->showMessage(QStringLiteral("Success!"));
}

void TfrmResample::AbortClick()
{
    if (conversion_)
        conversion_->Output().Stop(true);
}

void TfrmResample::closeEvent(QCloseEvent* event)
{
    if (conversion_)
        conversion_->Output().Stop(false);
    QDialog::closeEvent(event);
}

void TfrmResample::done(int result)
{
    if (conversion_)
        conversion_->Output().Stop(false);
    QDialog::done(result);
}

}  // namespace dw
