#pragma once
// A flat-style one-line edit: a thin single border instead of the sunken
// frame. Edits are never translated.

#include <QLineEdit>

namespace dw {

class FlatEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit FlatEdit(const QString& text = QString(), QWidget* parent = nullptr);
};

}  // namespace dw
