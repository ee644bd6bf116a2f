#include "widgets/OptionSetForm.h"

#include "app/Helpers.h"
#include "app/Language.h"
#include "app/ResourceText.h"
#include "app/Settings.h"
#include "cd/CDIn.h"
#include "cd/DiscListing.h"
#include "cd/DriveLibrary.h"
#include "jobs/WmaProfiles.h"
#include "platform/Dialogs.h"
#include "platform/NativePath.h"
#include "platform/Paths.h"
#include "widgets/OptionSetValues.h"
#include "widgets/TranslateForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace dw {

namespace {

// Shows a setting as a list position; a value the list does not hold (an
// edited file) shows the setting's default instead.
void showPosition(QComboBox* box, int position, int fallback)
{
    box->setCurrentIndex(position >= 0 && position < box->count() ? position : fallback);
}

// The checked state of a control as a setting, and back.
void showChecked(QCheckBox* box, bool on) { box->setChecked(on); }

// Refusal text of an MP3 bit-rate list whose text is no bit rate the setting takes.
bool checkBitRate(QComboBox* box, const char* key, int& kbps, QString& problem)
{
    const std::optional<int> value = ParseMp3BitRate(box->currentText());
    if (!value) {
        problem = QStringLiteral("'%1' is not a valid bit rate").arg(box->currentText().left(3).trimmed());
        return false;
    }
    QString stored;
    if (!CheckSettingValue(QStringLiteral("Mp3Options"), QLatin1String(key), QString::number(*value), &stored,
                           &problem))
        return false;
    kbps = *value;
    return true;
}

}  // namespace

TOptionSetForm::TOptionSetForm(QWidget* parent, DiscListing& listing, TCDIn* component,
                               std::function<void()> listingChanged)
    : QDialog(parent), settings_(&AppSettings), listing_(listing), component_(component),
      listingChanged_(std::move(listingChanged))
{
    setObjectName(QStringLiteral("OptionSetForm"));
    setWindowTitle(QStringLiteral("Options"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    // Every tab stays in sight: the dialog is at least as wide as all of them.
    PageControl1->setUsesScrollButtons(false);
    layout->addWidget(PageControl1);
    buildOutputPage();
    buildMp3Page();
    buildOggPage();
    buildWmaPage();
    buildId3Page();
    buildCdRomPage();
    buildFlacOpusPage();
    buildButtons();

    // Creation: the first page is active.
    PageControl1->setCurrentIndex(OutputPage);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == CdRomPage)
            fillDriveList();
    });
}

TOptionSetForm::~TOptionSetForm() = default;

void TOptionSetForm::ShowPage(Page page)
{
    if (PageControl1->currentIndex() == page && page == CdRomPage)
        fillDriveList();
    PageControl1->setCurrentIndex(page);
}

void TOptionSetForm::setVisible(bool visible)
{
    // Translated and filled before the first showing takes its size, so the
    // dialog is sized for the texts it shows (translated ones are often
    // longer), and never smaller than they need.
    if (visible && !prepared_) {
        prepared_ = true;
        if (!IsEnglish(settings_->Lan))
            TranslateForm(this, settings_->Lan);
        loadControls();
        setMinimumSize(sizeHint());
    }
    QDialog::setVisible(visible);
}

void TOptionSetForm::showEvent(QShowEvent* event)
{
    if (!placed_) {
        placed_ = true;
        if (QWidget* owner = parentWidget())
            move(owner->frameGeometry().topLeft() + QPoint(50, 50));
    }
    QDialog::showEvent(event);
}

void TOptionSetForm::loadControls()
{
    const TAppSettings& s = *settings_;
    const TAppSettings defaults;

    editOutputDir->setText(s.OutputFolder);
    showPosition(cbOutputFormat, s.OutputFormat, defaults.OutputFormat);
    showChecked(ckbKeepWav, !s.IsKeepWav);  // the box says "Delete"
    showChecked(ckNormalize, s.IsNormalize);
    SpinEdit1->setValue(s.NormalizePercent);  // clamped into the spin edit's range
    showChecked(cbRipTime, s.EnableRipTime);
    eRipTime->setText(QString::number(s.RipTime));

    showChecked(ckbSelectVBR, s.IsSelectVBR);
    showChecked(ckbVBRHead, s.IsVBRHead);
    cbBitRate->setEditText(Mp3BitRateText(s.BitRate));
    cbMaxBitRate->setEditText(Mp3BitRateText(s.MaxBitRate));
    showPosition(cbVBRQuality, s.VBRQuality, defaults.VBRQuality);
    showPosition(cbMpegQuality, s.MpegQuality, defaults.MpegQuality);
    showPosition(cbStereoMode, s.StereoMode, defaults.StereoMode);

    showChecked(cbUseCompress, s.IsUseCompress);
    tbCompression->setValue(s.CompressPosition);
    showPosition(cbOggNomBit, s.OggNomalBitRate, defaults.OggNomalBitRate);
    showPosition(cbOggMaxBit, s.OggMaxBitRate, defaults.OggMaxBitRate);
    showPosition(cbOggMinBit, s.OggMinBitRate, defaults.OggMinBitRate);

    showPosition(cbWMABitrate, s.WmaBitRate, WmaDefaultProfile);

    showChecked(cbUseID3, s.Use);
    ID3artist->setText(s.DiscArtist);
    ID3album->setText(s.DiscAlbum);
    ID3year->setText(s.DiscYear);
    ID3comment->setText(s.DiscComment);
    showPosition(ID3genre, s.DiscGenre + 1, 0);

    showChecked(ckbCDDb, s.CDDb);

    showPosition(cbFlacLevel, s.FlacCompressionLevel, defaults.FlacCompressionLevel);
    showChecked(ckbFlacVerify, s.FlacVerify);
    seOpusBitRate->setValue(s.OpusBitRate);  // clamped into the spin box's range
    showChecked(ckbOpusVbr, s.OpusVbr);
    showChecked(ckbReplayGain, s.ReplayGainUse);
    showChecked(ckbId3v2, s.Id3v2Use);

    shownDrive_ = s.Index < 0 ? 0 : s.Index;
    shownCDDb_ = s.CDDb;

    updateEnabled();
    updateWmaNote();
}

void TOptionSetForm::updateEnabled()
{
    ckbKeepWav->setEnabled(cbOutputFormat->currentIndex() != 1);  // nothing to delete when WAV is the result
    SpinEdit1->setEnabled(ckNormalize->isChecked());
    eRipTime->setEnabled(cbRipTime->isChecked());
    const bool vbr = ckbSelectVBR->isChecked();
    ckbVBRHead->setEnabled(vbr);
    cbMaxBitRate->setEnabled(vbr);
    cbVBRQuality->setEnabled(vbr);
    // Ogg encodes either by quality or through the bit-rate manager.
    tbCompression->setEnabled(cbUseCompress->isChecked());
    cbOggNomBit->parentWidget()->setEnabled(!cbUseCompress->isChecked());
}

void TOptionSetForm::updateWmaNote()
{
    const int profile = cbWMABitrate->currentIndex();
    lWmaRaised->setVisible(profile >= 0 && WmaEncodedKbps(profile) != WmaProfileKbps(profile));
}

void TOptionSetForm::fillDriveList()
{
    cbCDList->clear();
    if (listing_.CDHandle != 0) {
        CdListRecord record{};
        record[0] = CdListMaxEntries;
        GetCDList(record);
        for (const CdListEntry& e : DecodeCdList(record).entries)
            cbCDList->addItem((e.vendor + e.product).left(26).trimmed());
    } else if (component_) {
        const int current = component_->GetCurrentDrive();
        const int count = component_->DrivesCount();
        for (int i = 0; i < count; ++i) {
            component_->SetCurrentDrive(i);
            cbCDList->addItem(component_->DriveName());
        }
        component_->SetCurrentDrive(current);
    }
    if (cbCDList->count() > shownDrive_)
        cbCDList->setCurrentIndex(shownDrive_);
}

void TOptionSetForm::browseOutputFolder()
{
    const QString current = editOutputDir->text();
    const QString start = IsDirectory(current) ? current : ProgramFolder();
    const QString chosen = CurrentDialogs().chooseFolder(ResourceText(res::Select_Directory), start);
    if (!chosen.isEmpty())
        editOutputDir->setText(WithTrailingBackslash(chosen));
}

void TOptionSetForm::mp3Defaults()
{
    ckbSelectVBR->setChecked(false);
    ckbVBRHead->setChecked(false);
    cbBitRate->setCurrentIndex(8);      // 128 kbit/s
    cbMaxBitRate->setCurrentIndex(13);  // 320 kbit/s
    cbVBRQuality->setCurrentIndex(4);
    cbMpegQuality->setCurrentIndex(0);
    cbStereoMode->setCurrentIndex(1);   // Joint Stereo
    updateEnabled();
}

void TOptionSetForm::wmaDefaults() { cbWMABitrate->setCurrentIndex(WmaDefaultProfile); }

void TOptionSetForm::flacOpusDefaults()
{
    const TAppSettings defaults;
    cbFlacLevel->setCurrentIndex(defaults.FlacCompressionLevel);
    ckbFlacVerify->setChecked(defaults.FlacVerify);
    seOpusBitRate->setValue(defaults.OpusBitRate);
    ckbOpusVbr->setChecked(defaults.OpusVbr);
    ckbReplayGain->setChecked(defaults.ReplayGainUse);
    ckbId3v2->setChecked(defaults.Id3v2Use);
}

bool TOptionSetForm::ApplyAndClose()
{
    Dialogs& dialogs = CurrentDialogs();
    const bool onOutputPage = PageControl1->currentIndex() == OutputPage;

    const QString folder = editOutputDir->text();
    if (!IsDirectory(folder)) {
        dialogs.error(folder + ',' + ResourceText(res::Directory_Not_Exist));
        if (onOutputPage)
            editOutputDir->setFocus();
        return false;
    }
    // The length is checked whether or not it is used. 0 stands for "not
    // set"; other values lie in the setting's range.
    bool parsed = false;
    const int ripTime = eRipTime->text().trimmed().toInt(&parsed);
    const SettingDescriptor* ripRange = FindSetting(QStringLiteral("CommonOptions"), QStringLiteral("RipTime"));
    if (!parsed || (ripTime != 0 && ripRange && (ripTime < ripRange->min || ripTime > ripRange->max))) {
        dialogs.error(ResourceText(res::Rip_Time_Error));
        if (onOutputPage)
            eRipTime->setFocus();
        return false;
    }
    if (!storeControls())
        return false;

    // A changed drive choice: detect that drive and list its tracks.
    if (cbCDList->count() > 0 &&
        (cbCDList->currentIndex() != shownDrive_ || ckbCDDb->isChecked() != shownCDDb_)) {
        const int position = cbCDList->currentIndex();
        if (listing_.CDHandle != 0) {
            listing_.DetectDriveMode(position);
            listing_.ListFromToc();
        } else if (component_) {
            component_->SetCurrentDrive(position);
            listing_.ListThroughComponent(*component_);
        }
        if (listingChanged_)
            listingChanged_();
    }
    listing_.IdleStatusText = listing_.Status;
    accept();
    return true;
}

bool TOptionSetForm::storeControls()
{
    // The bit rates are the only fields that can fail; they are checked
    // before anything is stored, so a refused value leaves every setting as it was.
    int bitRate = 0, maxBitRate = 0;
    QString problem;
    if (!checkBitRate(cbBitRate, "BitRate", bitRate, problem) ||
        !checkBitRate(cbMaxBitRate, "MaxBitRate", maxBitRate, problem)) {
        CurrentDialogs().error(problem);
        PageControl1->setCurrentIndex(Mp3Page);
        return false;
    }
    // A typed Opus bit rate outside the range stays in the spin box's text
    // while its value keeps the last valid one: refuse the text, do not
    // store the stale value.
    if (!seOpusBitRate->hasAcceptableInput()) {
        CheckSettingValue(QStringLiteral("OpusOptions"), QStringLiteral("BitRate"),
                          seOpusBitRate->text().trimmed(), nullptr, &problem);
        CurrentDialogs().error(problem);
        PageControl1->setCurrentIndex(FlacOpusPage);
        seOpusBitRate->setFocus();
        return false;
    }

    TAppSettings& s = *settings_;
    s.OutputFolder = WithTrailingBackslash(editOutputDir->text());
    s.IsKeepWav = !ckbKeepWav->isChecked();
    s.OutputFormat = cbOutputFormat->currentIndex();
    s.IsNormalize = ckNormalize->isChecked();
    s.NormalizePercent = SpinEdit1->value();
    s.EnableRipTime = cbRipTime->isChecked();
    s.RipTime = eRipTime->text().trimmed().toInt();

    s.IsSelectVBR = ckbSelectVBR->isChecked();
    s.IsVBRHead = ckbVBRHead->isChecked();
    s.BitRate = bitRate;
    s.MaxBitRate = maxBitRate;
    s.VBRQuality = cbVBRQuality->currentIndex();
    s.MpegQuality = cbMpegQuality->currentIndex();
    s.StereoMode = cbStereoMode->currentIndex();

    s.IsUseCompress = cbUseCompress->isChecked();
    s.CompressPosition = tbCompression->value();
    s.OggNomalBitRate = cbOggNomBit->currentIndex();
    s.OggMaxBitRate = cbOggMaxBit->currentIndex();
    s.OggMinBitRate = cbOggMinBit->currentIndex();

    s.WmaBitRate = cbWMABitrate->currentIndex();

    s.Use = cbUseID3->isChecked();
    s.DiscArtist = ID3artist->text();
    s.DiscAlbum = ID3album->text();
    s.DiscYear = ID3year->text();
    s.DiscComment = ID3comment->text();
    s.DiscGenre = ID3genre->currentIndex() - 1;

    // The drive list has entries only once the CD-ROM page was shown.
    if (cbCDList->count() > 0)
        s.Index = cbCDList->currentIndex();
    s.CDDb = ckbCDDb->isChecked();

    s.FlacCompressionLevel = cbFlacLevel->currentIndex();
    s.FlacVerify = ckbFlacVerify->isChecked();
    s.OpusBitRate = seOpusBitRate->value();
    s.OpusVbr = ckbOpusVbr->isChecked();
    s.ReplayGainUse = ckbReplayGain->isChecked();
    s.Id3v2Use = ckbId3v2->isChecked();
    return true;
}

}  // namespace dw
