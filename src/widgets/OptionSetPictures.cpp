#include "widgets/OptionSetPictures.h"

#include "widgets/OptionSetForm.h"

#include <QApplication>
#include <QPixmap>

namespace dw {

QStringList SaveOptionSetPictures(TOptionSetForm& form, const QString& folder, QString* error)
{
    static const char* const names[TOptionSetForm::PageCount] = {"output", "mp3", "ogg", "wma", "id3-tag", "cd-rom",
                                                                         "flac-opus"};
    if (!form.isVisible())
        form.show();
    QStringList written;
    for (int page = 0; page < TOptionSetForm::PageCount; ++page) {
        form.ShowPage(TOptionSetForm::Page(page));
        QApplication::processEvents();
        const QString file = folder + QStringLiteral("/options-%1-%2.png").arg(page + 1).arg(QLatin1String(names[page]));
        if (!form.grab().save(file, "PNG")) {
            if (error)
                *error = file + QStringLiteral(": cannot be written");
            return written;
        }
        written << file;
    }
    return written;
}

}  // namespace dw
