// The options dialog against the settings record, options.ini, real CD images
// in the drive list and the real WMA tool.
#include "widgets/OptionSetForm.h"

#include "app/Genres.h"
#include "app/Settings.h"
#include "cd/DiscListing.h"
#include "jobs/WmaProfiles.h"
#include "platform/Dialogs.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"
#include "UserInput.h"
#include "widgets/OptionSetPictures.h"
#include "widgets/OptionSetValues.h"
#include "widgets/TranslateForm.h"
#include "platform/IniFile.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QMap>
#include <QTabBar>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace dw;

template <typename T>
T* control(QWidget* form, const char* name)
{
    T* found = form->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        throw std::runtime_error(std::string("no control ") + name);
    return found;
}

// A dialog over a private settings record, shown (which loads the controls).
struct OpenForm {
    explicit OpenForm(TAppSettings& s, DiscListing& listing, std::function<void()> changed = {})
        : form(std::make_unique<TOptionSetForm>(nullptr, listing, nullptr, std::move(changed)))
    {
        form->SetSettings(s);
        form->show();
    }
    template <typename T>
    T* operator()(const char* name) { return control<T>(form.get(), name); }
    // A click on OK; true when the dialog closed with it.
    bool ok()
    {
        dwtest::click(form.get(), "bOK");
        return !form->isVisible() && form->result() == QDialog::Accepted;
    }
    // A click on the tab of a page.
    void showPage(int page)
    {
        QTabBar* tabs = control<QTabWidget>(form.get(), "PageControl1")->tabBar();
        dwtest::clickAt(tabs, tabs->tabRect(page).center());
        EXPECT_EQ(control<QTabWidget>(form.get(), "PageControl1")->currentIndex(), page);
    }
    std::unique_ptr<TOptionSetForm> form;
};

class OptionSetFormTest : public ::testing::Test {
protected:
    dwtest::Sandbox box;
    ScriptedDialogs dialogs;
    ScopedDialogs scoped{dialogs};
    DiscListing listing{AppSettings};
    TAppSettings s;

    void SetUp() override
    {
        s.OutputFolder = box.path() + "/";
        // A record as loading gives it: an empty server is no valid value.
        s.Server = QString::fromLatin1(DefaultCddbServer);
    }
};

// Every control carries its setting into the record, options.ini keeps it, and
// a dialog over the reloaded record shows the same.
TEST_F(OptionSetFormTest, EveryControlReachesTheSettingsAndOptionsIni)
{
    QDir(box.path()).mkdir("out");
    {
        OpenForm f(s, listing);
        f.operator()<QLineEdit>("editOutputDir")->setText(box.path() + "/out");
        f.operator()<QComboBox>("cbOutputFormat")->setCurrentIndex(2);
        f.operator()<QCheckBox>("ckbKeepWav")->setChecked(false);  // keep the WAV
        f.operator()<QCheckBox>("ckNormalize")->setChecked(true);
        f.operator()<QSpinBox>("SpinEdit1")->stepBy(-7);
        f.operator()<QCheckBox>("cbRipTime")->setChecked(true);
        f.operator()<QLineEdit>("eRipTime")->setText("75");
        f.operator()<QCheckBox>("ckbSelectVBR")->setChecked(true);
        f.operator()<QCheckBox>("ckbVBRHead")->setChecked(true);
        f.operator()<QComboBox>("cbBitRate")->setEditText("96 kbit/s");
        f.operator()<QComboBox>("cbMaxBitRate")->setCurrentIndex(10);  // 192
        f.operator()<QComboBox>("cbVBRQuality")->setCurrentIndex(7);
        f.operator()<QComboBox>("cbMpegQuality")->setCurrentIndex(2);
        f.operator()<QComboBox>("cbStereoMode")->setCurrentIndex(4);
        f.operator()<QCheckBox>("cbUseCompress")->setChecked(false);
        f.operator()<QSlider>("tbCompression")->setValue(77);
        f.operator()<QComboBox>("cbOggNomBit")->setCurrentIndex(8);
        f.operator()<QComboBox>("cbOggMaxBit")->setCurrentIndex(14);
        f.operator()<QComboBox>("cbOggMinBit")->setCurrentIndex(1);
        f.operator()<QComboBox>("cbWMABitrate")->setCurrentIndex(21);
        f.operator()<QCheckBox>("cbUseID3")->setChecked(true);
        f.operator()<QLineEdit>("ID3artist")->setText("Ärtist with a very long name beyond thirty");
        f.operator()<QLineEdit>("ID3album")->setText("Album");
        f.operator()<QLineEdit>("ID3year")->setText("19999");
        f.operator()<QLineEdit>("ID3comment")->setText("Comment");
        f.operator()<QComboBox>("ID3genre")->setCurrentText("Blues");
        f.operator()<QCheckBox>("ckbCDDb")->setChecked(true);
        f.operator()<QComboBox>("cbFlacLevel")->setCurrentIndex(8);
        f.operator()<QCheckBox>("ckbFlacVerify")->setChecked(false);
        f.operator()<QSpinBox>("seOpusBitRate")->setValue(96);
        f.operator()<QCheckBox>("ckbOpusVbr")->setChecked(false);
        f.operator()<QCheckBox>("ckbReplayGain")->setChecked(true);
        f.operator()<QCheckBox>("ckbId3v2")->setChecked(false);
        ASSERT_TRUE(f.ok());
        EXPECT_EQ(dialogs.texts(), QStringList());
    }
    EXPECT_EQ(s.OutputFolder, box.path() + "/out/");
    EXPECT_EQ(s.OutputFormat, 2);
    EXPECT_TRUE(s.IsKeepWav);
    EXPECT_TRUE(s.IsNormalize);
    EXPECT_EQ(s.NormalizePercent, 88);
    EXPECT_TRUE(s.EnableRipTime);
    EXPECT_EQ(s.RipTime, 75);
    EXPECT_TRUE(s.IsSelectVBR);
    EXPECT_TRUE(s.IsVBRHead);
    EXPECT_EQ(s.BitRate, 96);
    EXPECT_EQ(s.MaxBitRate, 192);
    EXPECT_EQ(s.VBRQuality, 7);
    EXPECT_EQ(s.MpegQuality, 2);
    EXPECT_EQ(s.StereoMode, 4);
    EXPECT_FALSE(s.IsUseCompress);
    EXPECT_EQ(s.CompressPosition, 77);
    EXPECT_EQ(s.OggNomalBitRate, 8);
    EXPECT_EQ(s.OggMaxBitRate, 14);
    EXPECT_EQ(s.OggMinBitRate, 1);
    EXPECT_EQ(s.WmaBitRate, 21);
    EXPECT_TRUE(s.Use);
    EXPECT_EQ(s.DiscArtist, QString("Ärtist with a very long name b"));  // ID3v1 fields hold 30
    EXPECT_EQ(s.DiscYear, "1999");
    EXPECT_EQ(s.DiscAlbum, "Album");
    EXPECT_EQ(s.DiscComment, "Comment");
    EXPECT_EQ(s.DiscGenre, 17);  // Blues
    EXPECT_TRUE(s.CDDb);
    EXPECT_EQ(s.Index, -1);  // the CD-ROM page was never shown
    EXPECT_EQ(s.FlacCompressionLevel, 8);
    EXPECT_FALSE(s.FlacVerify);
    EXPECT_EQ(s.OpusBitRate, 96);
    EXPECT_FALSE(s.OpusVbr);
    EXPECT_TRUE(s.ReplayGainUse);
    EXPECT_FALSE(s.Id3v2Use);

    const QString ini = box.file("options.ini");
    ASSERT_TRUE(SaveSettingsTo(s, ini));
    TAppSettings back;
    LoadSettingsFrom(back, ini, "/nowhere/");
    for (const SettingDescriptor& d : SettingDescriptors())
        EXPECT_EQ(SettingValue(back, d.section, d.key), SettingValue(s, d.section, d.key)) << d.section << "." << d.key;

    // The reloaded record shows as it was entered.
    back.Disc() = s.Disc();
    OpenForm again(back, listing);
    EXPECT_EQ(again.operator()<QComboBox>("cbBitRate")->currentText(), "96 kbit/s");
    EXPECT_EQ(again.operator()<QComboBox>("cbMaxBitRate")->currentText(), "192 kbit/s");
    EXPECT_EQ(again.operator()<QSpinBox>("SpinEdit1")->value(), 88);
    EXPECT_EQ(again.operator()<QSlider>("tbCompression")->value(), 77);
    EXPECT_FALSE(again.operator()<QCheckBox>("ckbKeepWav")->isChecked());
    EXPECT_EQ(again.operator()<QComboBox>("ID3genre")->currentText(), "Blues");
    EXPECT_EQ(again.operator()<QComboBox>("cbWMABitrate")->currentIndex(), 21);
    EXPECT_EQ(again.operator()<QComboBox>("cbFlacLevel")->currentText(), "8 (smallest)");
    EXPECT_FALSE(again.operator()<QCheckBox>("ckbFlacVerify")->isChecked());
    EXPECT_EQ(again.operator()<QSpinBox>("seOpusBitRate")->value(), 96);
    EXPECT_FALSE(again.operator()<QCheckBox>("ckbOpusVbr")->isChecked());
    EXPECT_TRUE(again.operator()<QCheckBox>("ckbReplayGain")->isChecked());
    EXPECT_FALSE(again.operator()<QCheckBox>("ckbId3v2")->isChecked());
    EXPECT_EQ(again.operator()<QTabWidget>("PageControl1")->tabText(TOptionSetForm::FlacOpusPage), "FLAC / Opus");
}

TEST_F(OptionSetFormTest, EnablingRulesAndDefaultButtons)
{
    s.IsSelectVBR = false;
    s.EnableRipTime = false;
    s.DiscGenre = -1;
    s.OutputFormat = 9;  // not a list position: shows the default
    s.FlacCompressionLevel = 42;  // an edited file: shows the default
    s.OpusBitRate = 9000;         // clamped into the range
    s.FlacVerify = false;
    s.ReplayGainUse = true;
    s.Id3v2Use = false;
    OpenForm f(s, listing);
    EXPECT_EQ(f.operator()<QComboBox>("cbFlacLevel")->currentText(), "5 (default)");
    EXPECT_EQ(f.operator()<QComboBox>("cbFlacLevel")->itemText(0), "0 (fastest)");
    EXPECT_EQ(f.operator()<QSpinBox>("seOpusBitRate")->value(), 510);
    f.operator()<QComboBox>("cbFlacLevel")->setCurrentIndex(0);
    f.operator()<QSpinBox>("seOpusBitRate")->setValue(6);
    control<QPushButton>(f.form.get(), "bFlacOpusDefault")->click();
    EXPECT_EQ(f.operator()<QComboBox>("cbFlacLevel")->currentIndex(), 5);
    EXPECT_EQ(f.operator()<QSpinBox>("seOpusBitRate")->value(), 160);
    EXPECT_TRUE(f.operator()<QCheckBox>("ckbFlacVerify")->isChecked());
    EXPECT_TRUE(f.operator()<QCheckBox>("ckbOpusVbr")->isChecked());
    EXPECT_FALSE(f.operator()<QCheckBox>("ckbReplayGain")->isChecked());
    EXPECT_TRUE(f.operator()<QCheckBox>("ckbId3v2")->isChecked());
    EXPECT_EQ(f.operator()<QComboBox>("ID3genre")->currentIndex(), 0);
    EXPECT_EQ(f.operator()<QComboBox>("cbOutputFormat")->currentIndex(), 0);
    EXPECT_FALSE(f.operator()<QCheckBox>("ckbVBRHead")->isEnabled());
    EXPECT_FALSE(f.operator()<QComboBox>("cbMaxBitRate")->isEnabled());
    EXPECT_FALSE(f.operator()<QComboBox>("cbVBRQuality")->isEnabled());
    EXPECT_TRUE(f.operator()<QComboBox>("cbBitRate")->isEnabled());
    EXPECT_FALSE(f.operator()<QLineEdit>("eRipTime")->isEnabled());
    EXPECT_FALSE(f.operator()<QSpinBox>("SpinEdit1")->isEnabled());

    f.operator()<QComboBox>("cbOutputFormat")->setCurrentIndex(1);  // WAV: nothing to delete
    EXPECT_FALSE(f.operator()<QCheckBox>("ckbKeepWav")->isEnabled());
    f.operator()<QComboBox>("cbOutputFormat")->setCurrentIndex(3);
    EXPECT_TRUE(f.operator()<QCheckBox>("ckbKeepWav")->isEnabled());
    f.operator()<QCheckBox>("ckNormalize")->setChecked(true);
    EXPECT_TRUE(f.operator()<QSpinBox>("SpinEdit1")->isEnabled());
    f.operator()<QCheckBox>("cbRipTime")->setChecked(true);
    EXPECT_TRUE(f.operator()<QLineEdit>("eRipTime")->isEnabled());

    f.operator()<QCheckBox>("ckbSelectVBR")->setChecked(true);
    f.operator()<QComboBox>("cbStereoMode")->setCurrentIndex(4);
    f.operator()<QComboBox>("cbBitRate")->setEditText("40 kbit/s");
    f.operator()<QComboBox>("cbWMABitrate")->setCurrentIndex(30);
    control<QPushButton>(f.form.get(), "bMp3Default")->click();
    control<QPushButton>(f.form.get(), "bWmaDefault")->click();
    EXPECT_FALSE(f.operator()<QCheckBox>("ckbSelectVBR")->isChecked());
    EXPECT_FALSE(f.operator()<QComboBox>("cbVBRQuality")->isEnabled());
    EXPECT_EQ(f.operator()<QComboBox>("cbBitRate")->currentText(), "128 kbit/s");
    EXPECT_EQ(f.operator()<QComboBox>("cbMaxBitRate")->currentText(), "320 kbit/s");
    EXPECT_EQ(f.operator()<QComboBox>("cbVBRQuality")->currentIndex(), 4);
    EXPECT_EQ(f.operator()<QComboBox>("cbStereoMode")->currentIndex(), 1);
    EXPECT_EQ(f.operator()<QComboBox>("cbWMABitrate")->currentIndex(), WmaDefaultProfile);
}

// OK refuses a missing folder, a length that is no number (ticked or not) and
// an MP3 bit rate outside the settings table, storing nothing.
TEST_F(OptionSetFormTest, OkRefusesBadInputAndStoresNothing)
{
    s.RipTime = 30;
    const TAppSettings before = s;
    const auto unchanged = [&] {
        for (const SettingDescriptor& d : SettingDescriptors())
            if (SettingValue(s, d.section, d.key) != SettingValue(before, d.section, d.key))
                return false;
        return true;
    };
    OpenForm f(s, listing);
    f.operator()<QComboBox>("cbOutputFormat")->setCurrentIndex(3);

    f.operator()<QLineEdit>("editOutputDir")->setText(box.path() + "/missing");
    EXPECT_FALSE(f.ok());
    EXPECT_EQ(dialogs.texts().value(0), box.path() + "/missing,The output directory does not exist.");
    f.operator()<QLineEdit>("editOutputDir")->setText(box.path());

    f.operator()<QLineEdit>("eRipTime")->setText("1x");
    EXPECT_FALSE(f.ok());
    f.operator()<QLineEdit>("eRipTime")->setText("-100");
    EXPECT_FALSE(f.ok());
    EXPECT_EQ(dialogs.texts().mid(1), QStringList(2, "Please check the song length to extract."));
    EXPECT_TRUE(f.form->isVisible());
    f.operator()<QLineEdit>("eRipTime")->setText("0");

    for (const char* typed : {"abc kbit/s", " 8 kbit/s", "-32"}) {
        f.operator()<QComboBox>("cbBitRate")->setEditText(typed);
        EXPECT_FALSE(f.ok()) << typed;
    }
    EXPECT_EQ(dialogs.texts().size(), 6);
    EXPECT_TRUE(unchanged());
    f.operator()<QComboBox>("cbBitRate")->setEditText("128 kbit/s");

    // An Opus bit rate typed outside 6..510 is refused, not replaced by the
    // spin box's last valid value; the dialog shows the page it is on.
    auto* opusText = f.operator()<QSpinBox>("seOpusBitRate")->findChild<QLineEdit*>();
    ASSERT_NE(opusText, nullptr);
    for (const char* typed : {"3", "600", "x"}) {
        opusText->setText(typed);
        EXPECT_FALSE(f.ok()) << typed;
        EXPECT_EQ(dialogs.texts().last(),
                  QString("'%1' is not a valid value for OpusOptions.BitRate (a whole number from 6 to 510)").arg(typed));
        EXPECT_EQ(f.operator()<QTabWidget>("PageControl1")->currentIndex(), TOptionSetForm::FlacOpusPage);
    }
    EXPECT_TRUE(unchanged());
    opusText->setText("64");
    f.operator()<QComboBox>("cbBitRate")->setEditText("1000");

    ASSERT_TRUE(f.ok());
    EXPECT_EQ(s.OpusBitRate, 64);
    EXPECT_EQ(s.BitRate, 100);
    EXPECT_EQ(s.RipTime, 0);
    EXPECT_EQ(s.OutputFormat, 3);
}

// The drive page lists the drives of the drive library; a new choice detects
// that drive and lists its tracks, and the main window hears of it.
TEST_F(OptionSetFormTest, ChoosingAnotherDriveListsItsDisc)
{
    const QString a = dwtest::makeCdImage(box.path(), {3, 4}, dwtest::CdImageOptions().named("alpha"));
    const QString b = dwtest::makeCdImage(box.path(), {2, 2, 5}, dwtest::CdImageOptions().named("beta"));
    qputenv("DISCWRIGHT_CD_IMAGES", (a + ":" + b).toUtf8());
    listing.Show(0);
    ASSERT_NE(listing.CDHandle, 0);
    ASSERT_EQ(listing.Rows.size(), 2u);

    int changed = 0;
    {
        // OK without the drive page: nothing is detected again.
        OpenForm f(s, listing, [&] { ++changed; });
        ASSERT_TRUE(f.ok());
        EXPECT_EQ(changed, 0);
        EXPECT_EQ(s.Index, -1);
    }
    OpenForm f(s, listing, [&] { ++changed; });
    f.showPage(TOptionSetForm::CdRomPage);
    auto* drives = f.operator()<QComboBox>("cbCDList");
    ASSERT_EQ(drives->count(), 2);
    EXPECT_EQ(drives->itemText(0), "Image   alpha");
    EXPECT_EQ(drives->currentIndex(), 0);  // Index -1 is shown as the first drive
    drives->setCurrentIndex(1);
    ASSERT_TRUE(f.ok());
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(s.Index, 1);
    EXPECT_EQ(listing.Rows.size(), 3u);
    EXPECT_EQ(listing.IdleStatusText, listing.Status);
    EXPECT_EQ(listing.Status, "Image   beta");
}

// Profiles the WMA tool raises are marked with the rate it really encodes at:
// the dialog's marks agree with what the tool reports for every profile.
TEST_F(OptionSetFormTest, WmaProfilesMarkTheRateTheToolEncodesAt)
{
    // A short stereo 44.1 kHz PCM file.
    QByteArray wav("RIFF\0\0\0\0WAVEfmt ", 16);
    const auto le32 = [](QByteArray& b, quint32 v) { for (int i = 0; i < 4; ++i) b.append(char(v >> (8 * i))); };
    const auto le16 = [](QByteArray& b, quint16 v) { b.append(char(v)); b.append(char(v >> 8)); };
    le32(wav, 16); le16(wav, 1); le16(wav, 2); le32(wav, 44100); le32(wav, 44100 * 4); le16(wav, 4); le16(wav, 16);
    wav.append("data", 4);
    QByteArray pcm;
    for (int i = 0; i < 4410; ++i) { le16(pcm, quint16(i * 97)); le16(pcm, quint16(i * 31)); }
    le32(wav, pcm.size());
    wav += pcm;
    box.write("in.wav", wav);

    OpenForm f(s, listing);
    auto* list = f.operator()<QComboBox>("cbWMABitrate");
    auto* note = f.operator()<QLabel>("lWmaRaised");
    const QRegularExpression raised("encoding at (\\d+) kbit/s");
    for (int p = 0; p < WmaProfileCount; ++p) {
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(dwtest::binDir() + "/WM8EUTIL", {"-input", box.file("in.wav"), "-output", box.file("o.wma"),
                                                    "-a_setting", WmaProfileSetting(p)});
        ASSERT_TRUE(tool.waitForFinished(60000));
        const QString out = QString::fromUtf8(tool.readAll());
        ASSERT_TRUE(out.contains("100%")) << out.toStdString();
        const QRegularExpressionMatch m = raised.match(out);
        const int encoded = m.hasMatch() ? m.captured(1).toInt() : WmaProfileKbps(p);
        EXPECT_EQ(WmaEncodedKbps(p), encoded) << p;
        EXPECT_EQ(list->itemText(p).startsWith(WmaProfileLabel(p)), true);
        EXPECT_EQ(list->itemText(p).contains(QString("(%1 kbit/s)").arg(encoded)), m.hasMatch()) << p;
        list->setCurrentIndex(p);
        EXPECT_EQ(!note->isHidden(), m.hasMatch()) << p;
    }
}

TEST_F(OptionSetFormTest, TranslatedFromTheLanguageFileWhenShown)
{
    box.write("program/CLan_German.ini",
              "[OptionSetForm]\nOptionSetForm=Optionen\ncbStereoMode_Item4=Einkanal\nPageControl1_Page0=Ausgabe\n"
              "ckNormalize=Normalisieren\nPageControl1_Page6=FLAC und Opus\ncbFlacLevel_Item8=8 (am kleinsten)\n"
              "ckbId3v2=ID3v2.4-Tags schreiben\n");
    s.Lan = "German";
    OpenForm f(s, listing);
    EXPECT_EQ(f.form->windowTitle(), "Optionen");
    EXPECT_EQ(f.operator()<QComboBox>("cbStereoMode")->itemText(4), "Einkanal");
    EXPECT_EQ(f.operator()<QTabWidget>("PageControl1")->tabText(0), "Ausgabe");
    EXPECT_EQ(f.operator()<QCheckBox>("ckNormalize")->text(), "Normalisieren");
    EXPECT_EQ(f.operator()<QTabWidget>("PageControl1")->tabText(TOptionSetForm::FlacOpusPage), "FLAC und Opus");
    EXPECT_EQ(f.operator()<QComboBox>("cbFlacLevel")->itemText(8), "8 (am kleinsten)");
    EXPECT_EQ(f.operator()<QCheckBox>("ckbId3v2")->text(), "ID3v2.4-Tags schreiben");
}

// With the shipped German file every text of every page has the room it
// asks for: the dialog takes its size from the translated texts, and all
// seven tabs stay in sight.
TEST_F(OptionSetFormTest, GermanTextsAreNotCutOnAnyPage)
{
    QFile::copy(qEnvironmentVariable("DISCWRIGHT_SOURCE_DIR") + "/data/CLan_German.ini",
                box.programDir() + "/CLan_German.ini");
    s.Lan = "German";
    OpenForm f(s, listing);
    auto* tabs = f.operator()<QTabWidget>("PageControl1");
    EXPECT_EQ(tabs->tabText(TOptionSetForm::FlacOpusPage), "FLAC / Opus");
    EXPECT_EQ(f.operator()<QCheckBox>("ckbId3v2")->text(), "ID3v2.4-Tags in MP3-Dateien schreiben");
    EXPECT_GE(tabs->tabBar()->width(), tabs->tabBar()->sizeHint().width());
    for (int page = 0; page < TOptionSetForm::PageCount; ++page) {
        f.showPage(TOptionSetForm::Page(page));
        QApplication::processEvents();
        int checked = 0;
        for (QWidget* w : tabs->widget(page)->findChildren<QWidget*>()) {
            const bool text = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                              (qobject_cast<QComboBox*>(w) && !static_cast<QComboBox*>(w)->isEditable());
            if (!text || !w->isVisible() || w->objectName().isEmpty() ||
                (qobject_cast<QLabel*>(w) && static_cast<QLabel*>(w)->wordWrap()) ||
                w->minimumWidth() == w->maximumWidth())  // sized on purpose ("...")
                continue;
            ++checked;
            EXPECT_GE(w->width(), w->sizeHint().width()) << page << " " << w->objectName().toStdString();
        }
        EXPECT_GT(checked, 0) << page;
    }
}

// Every text of the dialog as a language file addresses it.
QMap<QString, QString> dialogTexts(QWidget* form)
{
    QMap<QString, QString> texts{{form->objectName(), form->windowTitle()}};
    for (QWidget* w : form->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            texts.insert(name, b->text());
        else if (auto* l = qobject_cast<QLabel*>(w))
            texts.insert(name, l->text());
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            texts.insert(name, g->title());
        else if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i)
                texts.insert(name + "_Item" + QString::number(i), c->itemText(i));
        else if (auto* t = qobject_cast<QTabWidget*>(w))
            for (int i = 0; i < t->count(); ++i)
                texts.insert(name + "_Page" + QString::number(i), t->tabText(i));
    }
    return texts;
}

// The shipped language files address only controls the dialog has (a
// misspelt name would be silently ignored), and the English file, the
// template for new languages, gives every text exactly as built in.
TEST_F(OptionSetFormTest, LanguageFilesAddressRealControlsAndEnglishIsTheBuiltInText)
{
    OpenForm f(s, listing);
    const QMap<QString, QString> builtIn = dialogTexts(f.form.get());
    for (const char* language : {"English", "German"}) {
        const IniFile file(qEnvironmentVariable("DISCWRIGHT_SOURCE_DIR") + "/data/CLan_" + language + ".ini");
        const QStringList keys = file.keys("OptionSetForm");
        EXPECT_GT(keys.size(), 60) << language;
        for (const QString& key : keys)
            EXPECT_TRUE(builtIn.contains(key)) << language << ": " << key.toStdString();
        if (QLatin1String(language) == "English") {
            TranslateForm(f.form.get(), file);
            EXPECT_EQ(dialogTexts(f.form.get()), builtIn);
            for (const QString& key : keys)
                EXPECT_EQ(file.readString("OptionSetForm", key, {}), builtIn.value(key)) << key.toStdString();
        }
    }
}

TEST(OptionSetValues, Mp3BitRateTextRoundTrip)
{
    for (const QString& item : Mp3BitRateItems())
        EXPECT_EQ(Mp3BitRateText(*ParseMp3BitRate(item)).rightJustified(10), item);
    EXPECT_EQ(ParseMp3BitRate("32 kbit/s"), 32);
    EXPECT_EQ(ParseMp3BitRate("1000"), 100);
    EXPECT_EQ(ParseMp3BitRate("1 2 kbit/s"), std::nullopt);
    EXPECT_EQ(ParseMp3BitRate("+64"), std::nullopt);
    EXPECT_EQ(ParseMp3BitRate(""), std::nullopt);
}

}  // namespace

namespace {

// The pages render (into DISCWRIGHT_SCREENSHOT_DIR when it is set, to look at them).
TEST_F(OptionSetFormTest, PagesRenderToPictures)
{
    const QString dir = qEnvironmentVariableIsSet("DISCWRIGHT_SCREENSHOT_DIR")
                            ? qEnvironmentVariable("DISCWRIGHT_SCREENSHOT_DIR")
                            : box.path();
    const QString cue = dwtest::makeCdImage(box.path(), {3}, dwtest::CdImageOptions().named("Demo Disc"));
    qputenv("DISCWRIGHT_CD_IMAGES", cue.toUtf8());
    listing.Show(0);
    s.DiscArtist = "The Example Quartet";
    s.DiscAlbum = "Songs for Testing";
    s.DiscYear = "2024";
    s.DiscGenre = 31;
    s.WmaBitRate = 21;
    OpenForm f(s, listing);
    QString error;
    const QStringList files = SaveOptionSetPictures(*f.form, dir, &error);
    ASSERT_EQ(files.size(), TOptionSetForm::PageCount) << error.toStdString();
    EXPECT_TRUE(files.last().endsWith("options-7-flac-opus.png"));
    for (const QString& file : files) {
        const QImage image(file);
        EXPECT_FALSE(image.isNull()) << file.toStdString();
        EXPECT_GE(image.width(), 300);
    }
}

}  // namespace
