#include "widgets/NewRecordFileForm.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace dw {

TfrmNewRecordFile::TfrmNewRecordFile(QWidget* parent)
    : TranslatedDialog(parent),
      GroupBox1(new QGroupBox(QStringLiteral("Record Property"), this)),
      cbBitSamples(new QComboBox(GroupBox1)),
      rbBitNumber(new QRadioButton(QStringLiteral("8bit"), GroupBox1)),
      rb16Bit(new QRadioButton(QStringLiteral("16bit"), GroupBox1)),
      rbChannelNumber(new QRadioButton(QStringLiteral("Mono"), GroupBox1)),
      rbStereo(new QRadioButton(QStringLiteral("Stereo"), GroupBox1)),
      btOK(new QPushButton(QStringLiteral("OK"), this)),
      btCancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("frmNewRecordFile"));
    setWindowTitle(QStringLiteral("New sound file"));
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    cbBitSamples->setObjectName(QStringLiteral("cbBitSamples"));
    rbBitNumber->setObjectName(QStringLiteral("rbBitNumber"));
    rb16Bit->setObjectName(QStringLiteral("rb16Bit"));
    rbChannelNumber->setObjectName(QStringLiteral("rbChannelNumber"));
    rbStereo->setObjectName(QStringLiteral("rbStereo"));
    btOK->setObjectName(QStringLiteral("btOK"));
    btCancel->setObjectName(QStringLiteral("btCancel"));

    cbBitSamples->addItems({"  8000", "11025", "12000", "16000", "22050", "24000", "32000", "44100", "48000"});
    cbBitSamples->setCurrentIndex(7);  // 44100
    rb16Bit->setChecked(true);
    rbStereo->setChecked(true);
    // Two groups of radio buttons in one box: each group is exclusive on its own.
    auto* bits = new QButtonGroup(this);
    bits->addButton(rbBitNumber);
    bits->addButton(rb16Bit);
    auto* mode = new QButtonGroup(this);
    mode->addButton(rbChannelNumber);
    mode->addButton(rbStereo);

    auto* grid = new QGridLayout(GroupBox1);
    auto* l1 = new QLabel(QString::fromUtf8("Bitrate\uFF1A"), GroupBox1);
    auto* l2 = new QLabel(QString::fromUtf8("Data\uFF1A"), GroupBox1);
    auto* l3 = new QLabel(QString::fromUtf8("Mode\uFF1A"), GroupBox1);
    l1->setObjectName(QStringLiteral("Label1"));
    l2->setObjectName(QStringLiteral("Label2"));
    l3->setObjectName(QStringLiteral("Label3"));
    grid->addWidget(l1, 0, 0);
    grid->addWidget(cbBitSamples, 0, 1, 1, 2);
    grid->addWidget(l2, 1, 0);
    grid->addWidget(rbBitNumber, 1, 1);
    grid->addWidget(rb16Bit, 1, 2);
    grid->addWidget(l3, 2, 0);
    grid->addWidget(rbChannelNumber, 2, 1);
    grid->addWidget(rbStereo, 2, 2);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);
    btOK->setDefault(true);
    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TWaveAudioFormat TfrmNewRecordFile::Format() const
{
    TWaveAudioFormat f;
    f.channels = rbChannelNumber->isChecked() ? 1 : 2;
    f.bits = rbBitNumber->isChecked() ? 8 : 16;
    f.sampleRate = cbBitSamples->currentText().trimmed().toInt();
    return f;
}

}  // namespace dw
