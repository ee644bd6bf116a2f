#pragma once
// The APEv2 container: keys and typed accessors only (no file operations).

#include "tags/AuTags.h"

namespace dw {

class TAPEv2Tags : public TAuTags {
public:
    TAPEv2Tags();

    QString Artist() const { return AsWideString("Artist"); }
    QString Composer() const { return AsWideString("Composer"); }
    QString Album() const { return AsWideString("Album"); }
    QString DebutAlbum() const { return AsWideString("Debut album"); }
    QString Publisher() const { return AsWideString("Publisher"); }
    QString Conductor() const { return AsWideString("Conductor"); }
    QString Copyright() const { return AsWideString("Copyright"); }
    QString Language() const { return AsWideString("Language"); }
    QString Genre() const { return AsWideString("Genre"); }
    QString RecordLocation() const { return AsWideString("Record Location"); }
    QString File() const { return AsWideString("File"); }
    QString Related() const { return AsWideString("Related"); }
    QString Abstract() const { return AsWideString("Abstract"); }
    QString Bibliography() const { return AsWideString("Bibliography"); }
    QString Title() const { return AsWideString("Title"); }
    QString SubTitle() const { return AsWideString("Subtitle"); }
    QString Comment() const { return AsWideString("Comment"); }
    QByteArray ISBN() const { return AsString("ISBN"); }
    QByteArray ISRC() const { return AsString("ISRC"); }
    QByteArray BarCode() const { return AsString("EAN/UPC"); }
    QByteArray LabelCode() const { return AsString("LC"); }
    QByteArray Catalog() const { return AsString("Catalog"); }
    QByteArray RecordDate() const { return AsString("Record Date"); }
    QByteArray Track() const { return AsString("Track"); }
    // Read as wide text and handed out as ANSI; written as ANSI.
    QByteArray Year() const { return AsWideString("Year").toUtf8(); }

    void SetArtist(const QString& v) { SetValue("Artist", v); }
    void SetComposer(const QString& v) { SetValue("Composer", v); }
    void SetAlbum(const QString& v) { SetValue("Album", v); }
    void SetDebutAlbum(const QString& v) { SetValue("Debut album", v); }
    void SetPublisher(const QString& v) { SetValue("Publisher", v); }
    void SetConductor(const QString& v) { SetValue("Conductor", v); }
    void SetCopyright(const QString& v) { SetValue("Copyright", v); }
    void SetLanguage(const QString& v) { SetValue("Language", v); }
    void SetGenre(const QString& v) { SetValue("Genre", v); }
    void SetRecordLocation(const QString& v) { SetValue("Record Location", v); }
    void SetFile(const QString& v) { SetValue("File", v); }
    void SetRelated(const QString& v) { SetValue("Related", v); }
    void SetAbstract(const QString& v) { SetValue("Abstract", v); }
    void SetBibliography(const QString& v) { SetValue("Bibliography", v); }
    void SetTitle(const QString& v) { SetValue("Title", v); }
    void SetSubTitle(const QString& v) { SetValue("Subtitle", v); }
    void SetComment(const QString& v) { SetValue("Comment", v); }
    void SetISBN(const QByteArray& v) { SetValue("ISBN", v); }
    void SetISRC(const QByteArray& v) { SetValue("ISRC", v); }
    void SetBarCode(const QByteArray& v) { SetValue("EAN/UPC", v); }
    void SetLabelCode(const QByteArray& v) { SetValue("LC", v); }
    void SetCatalog(const QByteArray& v) { SetValue("Catalog", v); }
    void SetRecordDate(const QByteArray& v) { SetValue("Record Date", v); }
    void SetTrack(const QByteArray& v) { SetValue("Track", v); }
    void SetYear(const QByteArray& v) { SetValue("Year", v); }
};

}  // namespace dw
