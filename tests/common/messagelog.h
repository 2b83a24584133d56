#pragma once

// Collects the program's debug and warning lines while it exists, from any
// thread, so a test can check what was logged. One at a time.

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

class MessageLog
{
public:
    MessageLog() : m_previous(qInstallMessageHandler(&MessageLog::handle)) { active() = this; }
    ~MessageLog()
    {
        qInstallMessageHandler(m_previous);
        active() = nullptr;
    }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    QStringList lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }
    int count(const QString& text) const
    {
        QMutexLocker lock(&m_mutex);
        int n = 0;
        for (const QString& line : m_lines)
            n += line.contains(text) ? 1 : 0;
        return n;
    }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_lines.clear();
    }

private:
    static MessageLog*& active()
    {
        static MessageLog* log = nullptr;
        return log;
    }
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        if (MessageLog* log = active()) {
            QMutexLocker lock(&log->m_mutex);
            log->m_lines.append(message);
        }
    }

    mutable QMutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous;
};
