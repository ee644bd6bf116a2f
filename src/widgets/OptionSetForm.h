#pragma once
// TOptionSetForm: the modal "Options" dialog. Copies the settings record into
// its controls when shown and back when OK passes its checks; Cancel keeps
// everything as it was. Nothing is written to options.ini here.
//
// A changed drive choice makes the dialog detect the drive again and list its
// tracks through the main window's DiscListing (drive mode: the drive library;
// ripper mode: the CD input component), then calls listingChanged so the
// window redraws its rows and status line.
//
//   TOptionSetForm form(this, listing, &cdIn, [this] { showListing(); });
//   form.exec();
//
// Main thread only.

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace dw {

class DiscListing;
class TCDIn;
struct TAppSettings;

class TOptionSetForm : public QDialog {
    Q_OBJECT
public:
    // parent: the main window (the dialog is placed 50 pixels right of and
    // below its top-left corner); listing: the main window's track list state;
    // component: its CD input component (may be null when there is none);
    // listingChanged: called after the drive was detected and listed anew.
    TOptionSetForm(QWidget* parent, DiscListing& listing, TCDIn* component,
                   std::function<void()> listingChanged = {});
    ~TOptionSetForm() override;

    // The settings record the dialog edits (AppSettings unless a test says otherwise).
    void SetSettings(TAppSettings& settings) { settings_ = &settings; }

    // Page positions of the page control, in order. The FLAC / Opus page
    // came last, so the page numbers language files use for the others stay.
    enum Page { OutputPage, Mp3Page, OggPage, WmaPage, Id3Page, CdRomPage, FlacOpusPage, PageCount };
    // Makes a page active (filling the drive list for the CD-ROM page).
    void ShowPage(Page page);

    // The OK button's work: checks, stores, re-detects; true when the dialog
    // accepted (it is then closed).
    bool ApplyAndClose();

    // The first showing translates the dialog and loads the controls.
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildOutputPage();
    void buildMp3Page();
    void buildOggPage();
    void buildWmaPage();
    void buildId3Page();
    void buildCdRomPage();
    void buildFlacOpusPage();
    void buildButtons();

    void loadControls();       // settings -> controls (the showing step)
    bool storeControls();      // controls -> settings; false when a field fails
    void fillDriveList();      // each time the CD-ROM page is shown
    void updateEnabled();      // the enabling rules
    void browseOutputFolder();
    void mp3Defaults();
    void wmaDefaults();
    void flacOpusDefaults();
    void updateWmaNote();

    TAppSettings* settings_;
    DiscListing& listing_;
    TCDIn* component_;
    std::function<void()> listingChanged_;

    // Remembered when shown.
    int shownDrive_ = 0;
    bool shownCDDb_ = false;
    bool prepared_ = false;
    bool placed_ = false;

    QTabWidget* PageControl1 = nullptr;
    // Output
    QGroupBox* gbOutputDir = nullptr;
    QLineEdit* editOutputDir = nullptr;
    QPushButton* btBrowse = nullptr;
    QCheckBox* ckbKeepWav = nullptr;
    QComboBox* cbOutputFormat = nullptr;
    QCheckBox* ckNormalize = nullptr;
    QSpinBox* SpinEdit1 = nullptr;
    QCheckBox* cbRipTime = nullptr;
    QLineEdit* eRipTime = nullptr;
    // MP3
    QCheckBox* ckbSelectVBR = nullptr;
    QCheckBox* ckbVBRHead = nullptr;
    QComboBox* cbBitRate = nullptr;
    QComboBox* cbMaxBitRate = nullptr;
    QComboBox* cbVBRQuality = nullptr;
    QComboBox* cbMpegQuality = nullptr;
    QComboBox* cbStereoMode = nullptr;
    // OGG
    QCheckBox* cbUseCompress = nullptr;
    QSlider* tbCompression = nullptr;
    QComboBox* cbOggNomBit = nullptr;
    QComboBox* cbOggMaxBit = nullptr;
    QComboBox* cbOggMinBit = nullptr;
    // WMA
    QComboBox* cbWMABitrate = nullptr;
    QLabel* lWmaRaised = nullptr;
    // ID3 Tag
    QCheckBox* cbUseID3 = nullptr;
    QLineEdit* ID3artist = nullptr;
    QLineEdit* ID3album = nullptr;
    QLineEdit* ID3year = nullptr;
    QLineEdit* ID3comment = nullptr;
    QComboBox* ID3genre = nullptr;
    // CD-ROM
    QComboBox* cbCDList = nullptr;
    QCheckBox* ckbCDDb = nullptr;
    // FLAC / Opus
    QComboBox* cbFlacLevel = nullptr;
    QCheckBox* ckbFlacVerify = nullptr;
    QSpinBox* seOpusBitRate = nullptr;
    QCheckBox* ckbOpusVbr = nullptr;
    QCheckBox* ckbReplayGain = nullptr;
    QCheckBox* ckbId3v2 = nullptr;
};

}  // namespace dw
