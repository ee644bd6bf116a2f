#include "widgets/QueryCDDBForm.h"

#include "app/Settings.h"
#include "cddb/CddbDiscValues.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "widgets/JpegImage.h"
#include "widgets/StopQueryForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dw {

namespace {

const char* const DefaultScript = "/~cddb/cddb.cgi";

}  // namespace

QStringList CddbServerHosts()
{
    // The default server, another live server, then the regional mirrors of
    // the original freedb network and its www host (kept for users whose own
    // mirror still answers under one of these names).
    return {QString::fromLatin1(DefaultCddbServer),
            QStringLiteral("freedb.dbpoweramp.com"),
            QStringLiteral("at.freedb.org"),
            QStringLiteral("ca.freedb.org"),
            QStringLiteral("de.freedb.org"),
            QStringLiteral("es.freedb.org"),
            QStringLiteral("fi.freedb.org"),
            QStringLiteral("lu.freedb.org"),
            QStringLiteral("ru.freedb.org"),
            QStringLiteral("uk.freedb.org"),
            QStringLiteral("us.freedb.org"),
            QStringLiteral("www.freedb.org")};
}

TfrmQueryCDDB::TfrmQueryCDDB(uint8_t firstTrack, uint8_t lastTrack, int handle, std::vector<TrackRow>& rows,
                             TDiscInfo& disc, QWidget* parent)
    : TranslatedDialog(parent), first_(firstTrack), last_(lastTrack), handle_(handle), rows_(rows), disc_(disc)
{
    setObjectName(QStringLiteral("frmQueryCDDB"));
    setWindowTitle(QStringLiteral("Query CDDB"));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    const QImage picture = JpegFileToImage(ProgramFolder() + QLatin1String(CddbPictureFile));
    if (!picture.isNull())
        Image1->setPixmap(QPixmap::fromImage(picture));
    Image1->setVisible(!picture.isNull());

    auto* lServer = new QLabel(QStringLiteral("CDDB server:"), this);
    lServer->setObjectName(QStringLiteral("lServer"));
    cbServer = new QComboBox(this);
    cbServer->setObjectName(QStringLiteral("cbServer"));
    cbServer->setEditable(true);
    cbServer->setInsertPolicy(QComboBox::NoInsert);
    cbServer->addItems(CddbServerHosts());
    cbServer->setMinimumWidth(220);
    lServer->setBuddy(cbServer);

    auto* lScript = new QLabel(QStringLiteral("Script:"), this);
    lScript->setObjectName(QStringLiteral("lScript"));
    eScript = new QLineEdit(this);
    eScript->setObjectName(QStringLiteral("eScript"));
    lScript->setBuddy(eScript);

    cbProxy = new QCheckBox(QStringLiteral("Use a proxy server"), this);
    cbProxy->setObjectName(QStringLiteral("cbProxy"));
    connect(cbProxy, &QCheckBox::toggled, this, &TfrmQueryCDDB::cbProxyClick);

    auto* lAddress = new QLabel(QStringLiteral("Address:"), this);
    lAddress->setObjectName(QStringLiteral("lAddress"));
    eAddress = new QLineEdit(this);
    eAddress->setObjectName(QStringLiteral("eAddress"));
    lAddress->setBuddy(eAddress);
    auto* lPort = new QLabel(QStringLiteral("Port:"), this);
    lPort->setObjectName(QStringLiteral("lPort"));
    ePort = new QLineEdit(this);
    ePort->setObjectName(QStringLiteral("ePort"));
    ePort->setMaximumWidth(70);
    lPort->setBuddy(ePort);

    bQuery = new QPushButton(QStringLiteral("Query"), this);
    bQuery->setObjectName(QStringLiteral("bQuery"));
    bQuery->setDefault(true);
    bDefault = new QPushButton(QStringLiteral("Default"), this);
    bDefault->setObjectName(QStringLiteral("bDefault"));
    bClose = new QPushButton(QStringLiteral("Close"), this);
    bClose->setObjectName(QStringLiteral("bClose"));
    connect(bQuery, &QPushButton::clicked, this, &TfrmQueryCDDB::bQueryClick);
    connect(bDefault, &QPushButton::clicked, this, &TfrmQueryCDDB::bDefaultClick);
    connect(bClose, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(lServer, 0, 0);
    grid->addWidget(cbServer, 0, 1, 1, 3);
    grid->addWidget(lScript, 1, 0);
    grid->addWidget(eScript, 1, 1, 1, 3);
    grid->addWidget(cbProxy, 2, 0, 1, 4);
    grid->addWidget(lAddress, 3, 0);
    grid->addWidget(eAddress, 3, 1);
    grid->addWidget(lPort, 3, 2);
    grid->addWidget(ePort, 3, 3);
    grid->setColumnStretch(1, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addLayout(grid, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bQuery);
    buttons->addWidget(bDefault);
    buttons->addWidget(bClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(6);
    layout->addLayout(buttons);
}

void TfrmQueryCDDB::showEvent(QShowEvent* event)
{
    // The settings into the controls, then the language over the captions.
    const int entry = cbServer->findText(AppSettings.Server, Qt::MatchExactly | Qt::MatchCaseSensitive);
    cbServer->setCurrentIndex(entry >= 0 ? entry : 0);
    cbServer->setEditText(cbServer->itemText(cbServer->currentIndex()));
    eScript->setText(AppSettings.Script);
    cbProxy->setChecked(AppSettings.UseProxy);
    eAddress->setText(AppSettings.ProxyAddress);
    ePort->setText(AppSettings.Port);
    cbProxyClick();
    TranslatedDialog::showEvent(event);
}

void TfrmQueryCDDB::cbProxyClick()
{
    eAddress->setEnabled(cbProxy->isChecked());
    ePort->setEnabled(cbProxy->isChecked());
}

void TfrmQueryCDDB::bDefaultClick()
{
    cbServer->setCurrentIndex(0);
    cbServer->setEditText(cbServer->itemText(0));
    eScript->setText(QString::fromLatin1(DefaultScript));
    cbProxy->setChecked(false);
}

void TfrmQueryCDDB::bQueryClick()
{
    // Kept in memory; saved with all settings when the program ends.
    AppSettings.Server = cbServer->currentText().trimmed();
    AppSettings.Script = eScript->text().trimmed();
    AppSettings.UseProxy = cbProxy->isChecked();
    AppSettings.ProxyAddress = eAddress->text().trimmed();
    AppSettings.Port = ePort->text().trimmed();

    TfrmStopQuery progress(first_, last_, handle_, this);
    if (progress.exec() != QDialog::Accepted)
        return;  // stopped, or closed after "not found": this window stays
    finished_ = true;
    const CddbLookupOutcome& outcome = progress.Outcome();
    if (outcome.hasValues)
        ApplyCddbValues(outcome.values, rows_, disc_);
    else if (!outcome.error.isEmpty())
        CurrentDialogs().error(outcome.error);
    accept();
}

}  // namespace dw
