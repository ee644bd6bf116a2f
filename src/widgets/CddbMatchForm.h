#pragma once
// TfrmCddbMatch: the small modal list a CDDB lookup opens when the server
// knows several entries for the disc. One row per match (category, disc id,
// title) in the server's order, the first preselected; OK (or a double
// click) takes the selected one, Cancel or closing the window takes none.
//
//   TfrmCddbMatch choose(outcome.matches, this);
//   if (choose.exec() == QDialog::Accepted) read(choose.Chosen());
//
// Main thread only.

#include "widgets/TranslatedDialog.h"

#include <QStringList>

class QPushButton;
class QTreeWidget;

namespace dw {

class TfrmCddbMatch : public TranslatedDialog {
    Q_OBJECT
public:
    // matches: the server's match lines "category discid title".
    explicit TfrmCddbMatch(const QStringList& matches, QWidget* parent = nullptr);

    // The index of the selected match; -1 when none is selected.
    int Chosen() const;

private:
    QTreeWidget* lvMatches = nullptr;
    QPushButton* bOK = nullptr;
    QPushButton* bCancel = nullptr;
};

}  // namespace dw
