#pragma once
// TfrmID3Edit: the "ID3 Tag Edit" dialog. It loads the ID3v1 tag of an MP3
// file into its fields, saves the fields back (to the loaded file or another
// one), and removes the tag, through Tid3tag (tags/Id3Tag).
//
// Every save and remove goes to the file the caption names: a load that
// could not open its file still names the new file, and nothing is then
// written to the file loaded before.
//
// Main thread only.

#include "tags/Id3Tag.h"
#include "widgets/TranslatedDialog.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace dw {

class TfrmID3Edit : public TranslatedDialog {
    Q_OBJECT
public:
    explicit TfrmID3Edit(QWidget* parent = nullptr);

    void LoadTagClick();
    void SaveTagClick();
    void RemoveTagClick();
    void SaveAsClick();

    // The file the caption names; empty before a load.
    const QString& FileName() const { return path_; }

private:
    void setFile(const QString& path);
    void showTag();
    void clearFields();
    // The fields into the tag: texts, genre and, when given, the track.
    void fieldsToTag();

    Tid3tag tag_;
    QString path_;
    QLineEdit* ID3title;
    QLineEdit* ID3artist;
    QLineEdit* ID3album;
    QLineEdit* ID3year;
    QLineEdit* ID3comment;
    QLineEdit* ID3track;
    QComboBox* ID3genre;
    QPushButton* btLoad;
    QPushButton* btSave;
    QPushButton* btRemove;
    QPushButton* btSaveAs;
    QPushButton* btClose;
};

}  // namespace dw
