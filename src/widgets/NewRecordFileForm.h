#pragma once
// TfrmNewRecordFile: the "New sound file" dialog of the recorder: sample
// rate, 8 or 16 bits, mono or stereo.
//
// Main thread only.

#include "platform/WaveAudioFile.h"
#include "widgets/TranslatedDialog.h"

class QComboBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace dw {

class TfrmNewRecordFile : public TranslatedDialog {
    Q_OBJECT
public:
    explicit TfrmNewRecordFile(QWidget* parent = nullptr);

    // The format chosen: channels 1 for Mono, bits 8 for 8bit, the rate of the list.
    TWaveAudioFormat Format() const;

private:
    QGroupBox* GroupBox1;
    QComboBox* cbBitSamples;
    QRadioButton* rbBitNumber;
    QRadioButton* rb16Bit;
    QRadioButton* rbChannelNumber;
    QRadioButton* rbStereo;
    QPushButton* btOK;
    QPushButton* btCancel;
};

}  // namespace dw
