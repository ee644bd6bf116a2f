#pragma once
// The saved inputs of a fuzz target, replayed by the regression tests:
// tests/fuzz/regressions/<subfolder>/*.hex, hex text in which '#' starts a
// comment.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace dwtest {

// Name and bytes of every saved input, by name; empty when the folder is
// missing or holds none (the callers assert that it does not).
QList<QPair<QString, QByteArray>> savedFuzzInputs(const QString& subfolder = {});

}  // namespace dwtest
