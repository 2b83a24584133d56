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

// What a failed write's error code means, in words a user can act on ("the
// disk is full; free some space or choose another output directory").
QString writeErrorText(int code);

// Writes all of `bytes` to the open file, again after interruptions; false
// with errno set when the system refuses the rest.
bool writeAllBytes(int file, const QByteArray& bytes);
