#pragma once
// Pictures of the options dialog's pages, for the documentation and for
// checking the layout: each page is made active and the dialog grabbed.

#include <QString>
#include <QStringList>

namespace dw {

class TOptionSetForm;

// Writes <folder>/options-<n>-<page>.png for the pages in order (n from 1);
// gives the files written. Stops at the first file that cannot be written
// (*error says which). The form is shown if it is not yet.
QStringList SaveOptionSetPictures(TOptionSetForm& form, const QString& folder, QString* error = nullptr);

}  // namespace dw
