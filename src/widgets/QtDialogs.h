#pragma once
// The dialogs layer answered by Qt: QMessageBox for boxes and questions,
// QFileDialog for folder and file choosers. Boxes are owned by the active
// window, so they stay above it and block it while open.

#include "platform/Dialogs.h"

namespace dw {

class QtDialogs : public Dialogs {
public:
    Answer messageBox(const QString& text, const QString& caption, MessageIcon icon, MessageButtons buttons,
                      Answer defaultAnswer) override;
    QString chooseFolder(const QString& prompt, const QString& startFolder) override;
    QStringList chooseOpenFiles(const QString& title, const QString& startFolder, const QString& filter,
                                bool multiple) override;
    QString chooseSaveFile(const QString& title, const QString& startPath, const QString& filter,
                           const QString& defaultSuffix) override;
};

}  // namespace dw
