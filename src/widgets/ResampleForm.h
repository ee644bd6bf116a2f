#pragma once
// TfrmResample: the "Wave File Converter" window. It shows the format of an
// input WAV file and converts it into another WAV file with the channels,
// sample rate, bits and encoding chosen, through the same conversion chain as
// the command line's convert-wav (audio/formats/WaveConversion). It keeps its
// English texts in every language: it is a plain modal dialog, not one of the
// windows a language file addresses.
//
// Main thread only.

#include "audio/formats/WaveConversion.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace dw {

class SpinEdit;

class TfrmResample : public QDialog {
    Q_OBJECT
public:
    explicit TfrmResample(QWidget* parent = nullptr);
    ~TfrmResample() override;

    void InputFileClick();
    void OutputFileClick();
    void ConvertClick();
    void AbortClick();
    // Whether a conversion is running.
    bool Converting() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    void showInput(const QString& path);
    void conversionDone();

    QProgressBar* ProgressBar1;
    QGroupBox* GroupBox1;
    QLabel* lbInFileName;
    QLabel* lbInChannels;
    QLabel* lbInSampleRate;
    QLabel* lbInBits;
    QLabel* lbInEncoding;
    QGroupBox* GroupBox2;
    QLabel* lbOutFileName;
    SpinEdit* SpinEdit1;  // channels
    QLineEdit* Edit1;     // sample rate
    SpinEdit* SpinEdit2;  // bits per sample
    QComboBox* ComboBox1;  // encoding
    QPushButton* btInput;
    QPushButton* btOutput;
    QPushButton* btConvert;
    QPushButton* btAbort;
    QPushButton* btClose;
    QStatusBar* StatusBar1;

    QString inPath_;
    QString outPath_;  // the output chosen for the next conversion; empty until one is
    std::unique_ptr<TWaveConversion> conversion_;
};

}  // namespace dw
