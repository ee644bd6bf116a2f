#include "widgets/FlatEdit.h"

#include "widgets/TranslateForm.h"

namespace dw {

FlatEdit::FlatEdit(const QString& text, QWidget* parent) : QLineEdit(text, parent)
{
    setProperty(NoTranslateProperty, true);
    setFrame(false);
    setStyleSheet(QStringLiteral("dw--FlatEdit { border: 1px solid rgb(120,135,190); padding: 2px; background: white; }"
                                 "dw--FlatEdit:disabled { background: rgb(240,240,240); }"));
}

}  // namespace dw
