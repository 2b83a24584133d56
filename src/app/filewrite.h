#pragma once

// Writing a file so that it is either complete or not there: nothing a
// crew relies on may be left half written when a disk fills or goes away.

#include <QByteArray>
#include <QString>

// Writes `bytes` to `path`: into a temporary file beside it, every write, the
// flush to disk and the close checked, then renamed over `path`. On failure
// returns false and puts a readable reason in `reason` (when given); the
// temporary file is gone and an earlier file at `path` is untouched.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* reason = nullptr);
