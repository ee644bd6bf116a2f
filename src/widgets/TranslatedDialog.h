#pragma once
// Base of the program's modal windows: the window translates itself from the
// current language (AppSettings.Lan) each time it is shown, unless the
// language is English.

#include <QDialog>

namespace dw {

// Applies the current language to window, unless it is English.
void TranslateToCurrentLanguage(QWidget* window);

class TranslatedDialog : public QDialog {
    Q_OBJECT
public:
    explicit TranslatedDialog(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace dw
