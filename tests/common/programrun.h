#pragma once

// Runs a built program as a crew member at a terminal does and collects what
// it said and how it ended, for the tests of the command lines.

#include <QProcess>
#include <QString>
#include <QStringList>

struct ProgramResult
{
    int exitCode = -1; // -1: it crashed or did not end in time
    QString out, err;
};

// Starts `program` with `arguments` on `process` (set up by the caller, e.g.
// its environment) and waits up to `timeoutMs` for it to end; a program that
// does not end is killed.
inline ProgramResult runProgram(QProcess& process, const QString& program, const QStringList& arguments,
                                int timeoutMs)
{
    process.start(program, arguments);
    ProgramResult result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
