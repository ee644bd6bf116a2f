#pragma once
// TfrmNoDeviceHint: shown by the main window when no CD drive can be reached
// at all. It lists the usual causes on Linux and links to where drive access
// is explained; Close ends it.

#include "widgets/TranslatedDialog.h"

namespace dw {

class TfrmNoDeviceHint : public TranslatedDialog {
    Q_OBJECT
public:
    explicit TfrmNoDeviceHint(QWidget* parent = nullptr);
};

}  // namespace dw
