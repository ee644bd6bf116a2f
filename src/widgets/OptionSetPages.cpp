// The seven pages of the options dialog: their controls, captions and
// component names. The dialog's behaviour is in OptionSetForm.cpp.
#include "widgets/OptionSetForm.h"

#include "app/Genres.h"
#include "app/Settings.h"
#include "jobs/WmaProfiles.h"
#include "widgets/OptionSetValues.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace dw {

namespace {

template <class W, class... Args>
W* named(QWidget* parent, const char* name, Args&&... args)
{
    W* w = new W(std::forward<Args>(args)..., parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

QLabel* label(QWidget* parent, const char* name, const QString& text)
{
    return named<QLabel>(parent, name, text);
}

QComboBox* list(QWidget* parent, const char* name, const QStringList& items, bool editable = false)
{
    auto* box = named<QComboBox>(parent, name);
    box->addItems(items);
    box->setEditable(editable);
    if (editable)
        box->setInsertPolicy(QComboBox::NoInsert);
    return box;
}

QWidget* page(QTabWidget* tabs, const char* name, const QString& caption)
{
    auto* w = named<QWidget>(tabs, name);
    tabs->addTab(w, caption);
    return w;
}

// A range of the settings table (the dialog and the command line accept the same values).
std::pair<int, int> rangeOf(const char* section, const char* key)
{
    const SettingDescriptor* d = FindSetting(QLatin1String(section), QLatin1String(key));
    return d ? std::pair{d->min, d->max} : std::pair{0, 0};
}

}  // namespace

void TOptionSetForm::buildOutputPage()
{
    QWidget* p = page(PageControl1, "tsOutput", QStringLiteral("Output"));
    auto* v = new QVBoxLayout(p);

    gbOutputDir = named<QGroupBox>(p, "gbOutputDir", QStringLiteral("Output directory(WAV/MP3)"));
    auto* dirRow = new QHBoxLayout(gbOutputDir);
    editOutputDir = named<QLineEdit>(gbOutputDir, "editOutputDir");
    btBrowse = named<QPushButton>(gbOutputDir, "btBrowse", QStringLiteral("..."));
    btBrowse->setFixedWidth(btBrowse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    dirRow->addWidget(editOutputDir, 1);
    dirRow->addWidget(btBrowse);
    v->addWidget(gbOutputDir);

    auto* grid = new QGridLayout;
    cbOutputFormat = list(p, "cbOutputFormat", OutputFormatItems());
    // Wide enough for translated entries too, which replace these after the size is taken.
    cbOutputFormat->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    grid->addWidget(label(p, "lFormat", QStringLiteral("Format:")), 0, 0);
    grid->addWidget(cbOutputFormat, 0, 1);
    ckbKeepWav = named<QCheckBox>(p, "ckbKeepWav", QStringLiteral("Delete WAV file after processing"));
    grid->addWidget(ckbKeepWav, 0, 2);

    ckNormalize = named<QCheckBox>(p, "ckNormalize", QStringLiteral("Normalize"));
    SpinEdit1 = named<QSpinBox>(p, "SpinEdit1");
    const auto [nMin, nMax] = rangeOf("CommonOptions", "NormalizePercent");
    SpinEdit1->setRange(nMin, nMax);
    // Changed by its arrows (and the arrow keys) only.
    if (auto* edit = SpinEdit1->findChild<QLineEdit*>())
        edit->setReadOnly(true);
    auto* normRow = new QHBoxLayout;
    normRow->addWidget(SpinEdit1);
    normRow->addWidget(label(p, "lPercent", QStringLiteral("%")));
    normRow->addStretch(1);
    grid->addWidget(ckNormalize, 1, 0);
    grid->addLayout(normRow, 1, 1);
    grid->setColumnStretch(3, 1);
    v->addLayout(grid);

    auto* ripBox = named<QGroupBox>(p, "gbRipTime", QString());
    auto* ripLayout = new QGridLayout(ripBox);
    cbRipTime = named<QCheckBox>(ripBox, "cbRipTime", QStringLiteral("Enable to set the length to extract"));
    eRipTime = named<QLineEdit>(ripBox, "eRipTime");
    eRipTime->setMaxLength(10);
    eRipTime->setFixedWidth(eRipTime->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    ripLayout->addWidget(cbRipTime, 0, 0, 1, 4);
    ripLayout->addWidget(label(ripBox, "lSongLength", QStringLiteral("The song length:")), 1, 0);
    ripLayout->addWidget(eRipTime, 1, 1);
    ripLayout->addWidget(label(ripBox, "lSecond", QStringLiteral("Second")), 1, 2);
    ripLayout->setColumnStretch(3, 1);
    v->addWidget(ripBox);
    v->addStretch(1);

    connect(btBrowse, &QPushButton::clicked, this, &TOptionSetForm::browseOutputFolder);
    connect(cbOutputFormat, &QComboBox::currentIndexChanged, this, &TOptionSetForm::updateEnabled);
    connect(ckNormalize, &QCheckBox::toggled, this, &TOptionSetForm::updateEnabled);
    connect(cbRipTime, &QCheckBox::toggled, this, &TOptionSetForm::updateEnabled);
}

void TOptionSetForm::buildMp3Page()
{
    QWidget* p = page(PageControl1, "tsMp3", QStringLiteral("MP3"));
    auto* v = new QVBoxLayout(p);

    auto* vbrBox = named<QGroupBox>(p, "gbVBR", QString());
    auto* vbr = new QGridLayout(vbrBox);
    ckbSelectVBR = named<QCheckBox>(vbrBox, "ckbSelectVBR", QStringLiteral("Enable Variable Bitrate(VBR)"));
    ckbVBRHead = named<QCheckBox>(vbrBox, "ckbVBRHead", QStringLiteral("Disable writing of the VBR Tag"));
    vbr->addWidget(ckbSelectVBR, 0, 0, 1, 2);
    vbr->addWidget(ckbVBRHead, 0, 2, 1, 2);
    v->addWidget(vbrBox);

    auto* grid = new QGridLayout;
    cbBitRate = list(p, "cbBitRate", Mp3BitRateItems(), true);
    cbMaxBitRate = list(p, "cbMaxBitRate", Mp3BitRateItems(), true);
    QStringList qualities;
    const auto [qMin, qMax] = rangeOf("Mp3Options", "VBRQuality");
    for (int q = qMin; q <= qMax; ++q)
        qualities << QString::number(q);
    cbVBRQuality = list(p, "cbVBRQuality", qualities);
    cbMpegQuality = list(p, "cbMpegQuality", MpegQualityItems());
    cbStereoMode = list(p, "cbStereoMode", StereoModeItems());

    grid->addWidget(label(p, "lBitRate", QStringLiteral("Minimum bitrate:")), 0, 0);
    grid->addWidget(cbBitRate, 0, 1);
    grid->addWidget(label(p, "lMaxBitRate", QStringLiteral("Maximum bitrate:")), 0, 2);
    grid->addWidget(cbMaxBitRate, 0, 3);
    grid->addWidget(label(p, "lVBRQuality", QStringLiteral("VBR Quality:")), 1, 0);
    grid->addWidget(cbVBRQuality, 1, 1);
    grid->addWidget(label(p, "lMpegQuality", QStringLiteral("Speed/Quality:")), 2, 0);
    grid->addWidget(cbMpegQuality, 2, 1, 1, 3);
    grid->addWidget(label(p, "lStereoMode", QStringLiteral("Mode:")), 3, 0);
    grid->addWidget(cbStereoMode, 3, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    v->addLayout(grid);
    v->addStretch(1);

    auto* defaults = named<QPushButton>(p, "bMp3Default", QStringLiteral("&Default"));
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(defaults);
    v->addLayout(row);

    connect(ckbSelectVBR, &QCheckBox::toggled, this, &TOptionSetForm::updateEnabled);
    connect(defaults, &QPushButton::clicked, this, &TOptionSetForm::mp3Defaults);
}

void TOptionSetForm::buildOggPage()
{
    QWidget* p = page(PageControl1, "tsOgg", QStringLiteral("OGG"));
    auto* v = new QVBoxLayout(p);

    auto* qualityBox = named<QGroupBox>(p, "gbQuality", QString());
    auto* q = new QGridLayout(qualityBox);
    cbUseCompress = named<QCheckBox>(qualityBox, "cbUseCompress", QStringLiteral("Use Quality setting"));
    tbCompression = named<QSlider>(qualityBox, "tbCompression", Qt::Horizontal);
    const auto [cMin, cMax] = rangeOf("OggOptions", "CompressPosition");
    tbCompression->setRange(cMin, cMax);
    tbCompression->setTickPosition(QSlider::TicksBelow);
    tbCompression->setTickInterval(10);
    q->addWidget(cbUseCompress, 0, 0, 1, 2);
    q->addWidget(tbCompression, 1, 0);
    q->addWidget(label(qualityBox, "lHighest", QStringLiteral("-> Highest quality")), 1, 1);
    q->setColumnStretch(0, 1);
    v->addWidget(qualityBox);

    auto* manager = named<QGroupBox>(p, "gbBitrateManager", QStringLiteral("Use Bitrate manager"));
    auto* m = new QFormLayout(manager);
    cbOggNomBit = list(manager, "cbOggNomBit", OggBitRateItems());
    cbOggMaxBit = list(manager, "cbOggMaxBit", OggBitRateItems());
    cbOggMinBit = list(manager, "cbOggMinBit", OggBitRateItems());
    m->addRow(label(manager, "lOggNomBit", QStringLiteral("Nominal bitrate:")), cbOggNomBit);
    m->addRow(label(manager, "lOggMaxBit", QStringLiteral("Maximum bitrate:")), cbOggMaxBit);
    m->addRow(label(manager, "lOggMinBit", QStringLiteral("Minimum bitrate:")), cbOggMinBit);
    v->addWidget(manager);
    v->addStretch(1);

    connect(cbUseCompress, &QCheckBox::toggled, this, &TOptionSetForm::updateEnabled);
}

void TOptionSetForm::buildWmaPage()
{
    QWidget* p = page(PageControl1, "tsWma", QStringLiteral("WMA"));
    auto* v = new QVBoxLayout(p);
    QStringList items;
    for (int i = 0; i < WmaProfileCount; ++i)
        items << WmaProfileItem(i);
    cbWMABitrate = list(p, "cbWMABitrate", items);
    cbWMABitrate->setMaxVisibleItems(16);
    auto* row = new QHBoxLayout;
    row->addWidget(label(p, "lWMABitrate", QStringLiteral("Audio Bitrate:")));
    row->addWidget(cbWMABitrate, 1);
    v->addLayout(row);

    lWmaRaised = label(p, "lWmaRaised",
                       QStringLiteral("Profiles below %1 kbit/s are encoded at %1 kbit/s, the lowest bit rate "
                                      "the WMA encoder takes; their sample rate and channels stay.")
                           .arg(WmaLowestEncodedKbps));
    lWmaRaised->setWordWrap(true);
    v->addWidget(lWmaRaised);
    v->addStretch(1);

    auto* defaults = named<QPushButton>(p, "bWmaDefault", QStringLiteral("&Default"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(defaults);
    v->addLayout(buttons);

    connect(cbWMABitrate, &QComboBox::currentIndexChanged, this, &TOptionSetForm::updateWmaNote);
    connect(defaults, &QPushButton::clicked, this, &TOptionSetForm::wmaDefaults);
}

void TOptionSetForm::buildId3Page()
{
    QWidget* p = page(PageControl1, "tsId3", QStringLiteral("ID3 Tag"));
    auto* v = new QVBoxLayout(p);
    cbUseID3 = named<QCheckBox>(p, "cbUseID3", QStringLiteral("Use ID3 tag"));
    v->addWidget(cbUseID3);

    // ID3v1 fields: 30 characters, the year 4.
    auto edit = [&](const char* name, int max) {
        auto* e = named<QLineEdit>(p, name);
        e->setMaxLength(max);
        return e;
    };
    ID3artist = edit("ID3artist", 30);
    ID3album = edit("ID3album", 30);
    ID3year = edit("ID3year", 4);
    ID3comment = edit("ID3comment", 30);
    QStringList genres{QString()};
    for (const char* name : GenreNames)
        genres << QString::fromLatin1(name);
    ID3genre = list(p, "ID3genre", genres);
    ID3genre->setMaxVisibleItems(20);

    auto* form = new QFormLayout;
    form->addRow(label(p, "lArtist", QStringLiteral("Artist:")), ID3artist);
    form->addRow(label(p, "lAlbum", QStringLiteral("Album:")), ID3album);
    auto* yearRow = new QHBoxLayout;
    ID3year->setFixedWidth(ID3year->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
    yearRow->addWidget(ID3year);
    yearRow->addSpacing(16);
    yearRow->addWidget(label(p, "lGenre", QStringLiteral("Genre:")));
    yearRow->addWidget(ID3genre, 1);
    form->addRow(label(p, "lYear", QStringLiteral("Year:")), yearRow);
    form->addRow(label(p, "lComment", QStringLiteral("Comment:")), ID3comment);
    v->addLayout(form);
    v->addStretch(1);
}

void TOptionSetForm::buildCdRomPage()
{
    QWidget* p = page(PageControl1, "tsCdRom", QStringLiteral("CD-ROM"));
    auto* v = new QVBoxLayout(p);
    cbCDList = list(p, "cbCDList", {});
    auto* row = new QHBoxLayout;
    row->addWidget(label(p, "lDevice", QStringLiteral("Device:")));
    row->addWidget(cbCDList, 1);
    v->addLayout(row);
    ckbCDDb = named<QCheckBox>(p, "ckbCDDb", QStringLiteral("Get CD information from CD DB"));
    ckbCDDb->hide();
    v->addWidget(ckbCDDb);
    v->addStretch(1);
}

void TOptionSetForm::buildFlacOpusPage()
{
    QWidget* p = page(PageControl1, "tsFlacOpus", QStringLiteral("FLAC / Opus"));
    auto* v = new QVBoxLayout(p);

    auto* flac = named<QGroupBox>(p, "gbFlac", QStringLiteral("FLAC"));
    auto* f = new QGridLayout(flac);
    QStringList levels;
    const auto [lMin, lMax] = rangeOf("FlacOptions", "CompressionLevel");
    for (int level = lMin; level <= lMax; ++level)
        levels << QString::number(level);
    cbFlacLevel = list(flac, "cbFlacLevel", levels);
    cbFlacLevel->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // The ends and the default say what the numbers mean.
    cbFlacLevel->setItemText(0, QStringLiteral("%1 (fastest)").arg(lMin));
    cbFlacLevel->setItemText(cbFlacLevel->count() - 1, QStringLiteral("%1 (smallest)").arg(lMax));
    const int flacDefault = TAppSettings().FlacCompressionLevel - lMin;
    if (flacDefault > 0 && flacDefault < cbFlacLevel->count() - 1)
        cbFlacLevel->setItemText(flacDefault, QStringLiteral("%1 (default)").arg(flacDefault + lMin));
    ckbFlacVerify = named<QCheckBox>(flac, "ckbFlacVerify", QStringLiteral("Verify the encoded audio while encoding"));
    f->addWidget(label(flac, "lFlacLevel", QStringLiteral("Compression level:")), 0, 0);
    f->addWidget(cbFlacLevel, 0, 1);
    f->addWidget(ckbFlacVerify, 1, 0, 1, 3);
    f->setColumnStretch(2, 1);
    v->addWidget(flac);

    auto* opus = named<QGroupBox>(p, "gbOpus", QStringLiteral("Opus"));
    auto* o = new QGridLayout(opus);
    seOpusBitRate = named<QSpinBox>(opus, "seOpusBitRate");
    const auto [bMin, bMax] = rangeOf("OpusOptions", "BitRate");
    seOpusBitRate->setRange(bMin, bMax);
    ckbOpusVbr = named<QCheckBox>(opus, "ckbOpusVbr", QStringLiteral("Variable bit rate (VBR)"));
    o->addWidget(label(opus, "lOpusBitRate", QStringLiteral("Bit rate:")), 0, 0);
    o->addWidget(seOpusBitRate, 0, 1);
    o->addWidget(label(opus, "lOpusKbps", QStringLiteral("kbit/s")), 0, 2);
    o->addWidget(ckbOpusVbr, 1, 0, 1, 4);
    o->setColumnStretch(3, 1);
    v->addWidget(opus);

    auto* tags = named<QGroupBox>(p, "gbTags", QStringLiteral("Tags"));
    auto* t = new QVBoxLayout(tags);
    ckbReplayGain = named<QCheckBox>(tags, "ckbReplayGain", QStringLiteral("Write ReplayGain values"));
    ckbId3v2 = named<QCheckBox>(tags, "ckbId3v2", QStringLiteral("Write ID3v2.4 tags into MP3 files"));
    t->addWidget(ckbReplayGain);
    t->addWidget(ckbId3v2);
    v->addWidget(tags);
    v->addStretch(1);

    auto* defaults = named<QPushButton>(p, "bFlacOpusDefault", QStringLiteral("&Default"));
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(defaults);
    v->addLayout(row);
    connect(defaults, &QPushButton::clicked, this, &TOptionSetForm::flacOpusDefaults);
}

void TOptionSetForm::buildButtons()
{
    auto* ok = named<QPushButton>(this, "bOK", QStringLiteral("&OK"));
    auto* cancel = named<QPushButton>(this, "bCancel", QStringLiteral("&Cancel"));
    ok->setDefault(true);
    auto* box = new QDialogButtonBox(this);
    box->addButton(ok, QDialogButtonBox::AcceptRole);
    box->addButton(cancel, QDialogButtonBox::RejectRole);
    layout()->addWidget(box);
    connect(ok, &QPushButton::clicked, this, &TOptionSetForm::ApplyAndClose);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace dw
