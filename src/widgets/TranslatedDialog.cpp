#include "widgets/TranslatedDialog.h"

#include "app/Language.h"
#include "app/Settings.h"
#include "widgets/TranslateForm.h"

namespace dw {

void TranslateToCurrentLanguage(QWidget* window)
{
    if (!IsEnglish(AppSettings.Lan))
        TranslateForm(window, AppSettings.Lan);
}

TranslatedDialog::TranslatedDialog(QWidget* parent) : QDialog(parent)
{
    setModal(true);
}

void TranslatedDialog::showEvent(QShowEvent* event)
{
    TranslateToCurrentLanguage(this);
    QDialog::showEvent(event);
}

}  // namespace dw
