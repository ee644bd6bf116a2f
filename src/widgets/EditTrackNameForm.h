#pragma once
// TfrmEditTrackName: the "Rename Track Title" dialog of the main window. It
// shows a title with the whole text selected; OK is enabled only while the
// text is not empty, and Enter in the edit counts as OK. No character is
// refused here: titles become file names only when a job list is built.

#include "widgets/TranslatedDialog.h"

#include <optional>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace dw {

class TfrmEditTrackName : public TranslatedDialog {
    Q_OBJECT
public:
    TfrmEditTrackName(const QString& title, QWidget* parent = nullptr);
    QString title() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QGroupBox* GroupBox1;
    QLineEdit* Edit1;
    QPushButton* btOK;
    QPushButton* btCancel;
};

// Runs the dialog over parent; the entered title, or nothing when cancelled.
std::optional<QString> AskTrackTitle(const QString& title, QWidget* parent);

}  // namespace dw
