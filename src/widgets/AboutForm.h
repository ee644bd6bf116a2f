#pragma once
// TfrmAbout: product name, version, a link to the product's web page and a
// "Check for Update..." link to its update page, with the product picture
// when one is shipped.

#include "widgets/TranslatedDialog.h"

namespace dw {

class TfrmAbout : public TranslatedDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);
};

}  // namespace dw
