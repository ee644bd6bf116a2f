#include "widgets/ID3EditForm.h"

#include "app/Genres.h"
#include "app/ResourceText.h"
#include "platform/Dialogs.h"
#include "tags/Id3v1Edit.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace dw {

namespace {

constexpr char Mp3Filter[] = "Index files (*.mp3)|*.mp3";

QLineEdit* field(const char* name, int maxLength, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setMaxLength(maxLength);
    return e;
}

QPushButton* button(const char* name, const char* text, QWidget* parent)
{
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

}  // namespace

TfrmID3Edit::TfrmID3Edit(QWidget* parent)
    : TranslatedDialog(parent),
      ID3title(field("ID3title", Tid3tag::kTextChars, this)),
      ID3artist(field("ID3artist", Tid3tag::kTextChars, this)),
      ID3album(field("ID3album", Tid3tag::kTextChars, this)),
      ID3year(field("ID3year", Tid3tag::kYearChars, this)),
      ID3comment(field("ID3comment", Tid3tag::kTextChars, this)),
      ID3track(field("ID3track", 2, this)),
      ID3genre(new QComboBox(this)),
      btLoad(button("btLoad", "&Load Tag...", this)),
      btSave(button("btSave", "&Save Tag", this)),
      btRemove(button("btRemove", "&Remove Tag", this)),
      btSaveAs(button("btSaveAs", "&Save As...", this)),
      btClose(button("btClose", "&Close", this))
{
    setObjectName(QStringLiteral("frmID3Edit"));
    setWindowTitle(ResourceText(res::ID3Edit_Caption));
    // Only the digits 0 to 9 (and Backspace) reach the track field.
    ID3track->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,2}")), ID3track));
    ID3track->setText(QStringLiteral("0"));
    ID3genre->setObjectName(QStringLiteral("ID3genre"));
    ID3genre->setEditable(false);
    ID3genre->addItem(QString());
    for (const char* name : GenreNames)
        ID3genre->addItem(QString::fromLatin1(name));
    ID3genre->setMaxVisibleItems(20);

    auto* form = new QFormLayout;
    const struct {
        const char* name;
        const char* text;
        QWidget* field;
    } rows[] = {
        {"Label1", "Title:", ID3title},     {"Label2", "Artist:", ID3artist}, {"Label3", "Album:", ID3album},
        {"Label4", "Year:", ID3year},       {"Label5", "Comment:", ID3comment}, {"Label6", "Track:", ID3track},
        {"Label7", "Genre:", ID3genre},
    };
    for (const auto& r : rows) {
        auto* l = new QLabel(QString::fromLatin1(r.text), this);
        l->setObjectName(QString::fromLatin1(r.name));
        form->addRow(l, r.field);
    }
    ID3title->setMinimumWidth(260);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {btLoad, btSave, btRemove, btSaveAs, btClose})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addLayout(buttons);

    btSave->setEnabled(false);
    btRemove->setEnabled(false);
    connect(btLoad, &QPushButton::clicked, this, &TfrmID3Edit::LoadTagClick);
    connect(btSave, &QPushButton::clicked, this, &TfrmID3Edit::SaveTagClick);
    connect(btRemove, &QPushButton::clicked, this, &TfrmID3Edit::RemoveTagClick);
    connect(btSaveAs, &QPushButton::clicked, this, &TfrmID3Edit::SaveAsClick);
    connect(btClose, &QPushButton::clicked, this, &QDialog::close);
}

void TfrmID3Edit::setFile(const QString& path)
{
    path_ = path;
    setWindowTitle(ResourceText(res::ID3Edit_Caption) + ": " + path);
    btSave->setEnabled(true);
    btRemove->setEnabled(true);
}

void TfrmID3Edit::showTag()
{
    ID3title->setText(tag_.Title());
    ID3artist->setText(tag_.Artist());
    ID3album->setText(tag_.Album());
    ID3year->setText(tag_.Year());
    ID3comment->setText(tag_.Comment());
    ID3track->setText(QString::number(tag_.Track()));
    ID3genre->setCurrentIndex(Id3ToGenreList(tag_.Genre()));
}

void TfrmID3Edit::clearFields()
{
    for (QLineEdit* e : {ID3title, ID3artist, ID3album, ID3year, ID3comment})
        e->clear();
    ID3track->setText(QStringLiteral("0"));
    ID3genre->setCurrentIndex(-1);
}

void TfrmID3Edit::fieldsToTag()
{
    tag_.SetTitle(ID3title->text());
    tag_.SetArtist(ID3artist->text());
    tag_.SetAlbum(ID3album->text());
    tag_.SetYear(ID3year->text());
    tag_.SetComment(ID3comment->text());
    tag_.SetGenre(GenreListToId3(ID3genre->currentIndex() < 0 ? 0 : ID3genre->currentIndex()));
    if (!ID3track->text().isEmpty())
        tag_.SetTrack(uint8_t(ID3track->text().toInt()));
}

void TfrmID3Edit::LoadTagClick()
{
    const QString file = CurrentDialogs().chooseOpenFile(QString(), QString(), Mp3Filter);
    if (file.isEmpty())
        return;
    if (Tid3tag::Succeeded(tag_.ReadTag(file)))
        showTag();
    else
        clearFields();
    setFile(file);
}

void TfrmID3Edit::SaveTagClick()
{
    if (path_.isEmpty())
        return;
    fieldsToTag();
    if (!Tid3tag::Succeeded(tag_.SaveTag(path_)))
        CurrentDialogs().information(ResourceText(res::SaveTag_Error));
}

void TfrmID3Edit::RemoveTagClick()
{
    if (path_.isEmpty())
        return;
    if (!CurrentDialogs().askYesNo(ResourceText(res::Ask_RemoveTag), Answer::No, MessageIcon::Information))
        return;
    RemoveId3v1(path_);  // fails silently
    clearFields();
}

void TfrmID3Edit::SaveAsClick()
{
    const QString file = CurrentDialogs().chooseOpenFile(QString(), QString(), Mp3Filter);
    if (file.isEmpty())
        return;
    fieldsToTag();
    if (Tid3tag::Succeeded(tag_.SaveTag(file)))
        setFile(file);
    else
        CurrentDialogs().information(ResourceText(res::SaveTag_Error));
}

}  // namespace dw
