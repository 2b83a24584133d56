#pragma once

// Answers every message box that opens while it exists: notes its title and
// text and presses Ok, so that code showing a modal box can run in a test.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

class ModalAnswerer
{
public:
    ModalAnswerer()
    {
        // The modal box runs its own event loop, in which the timer keeps firing.
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answer(); });
        m_timer.start(5);
    }
    ModalAnswerer(const ModalAnswerer&) = delete;
    ModalAnswerer& operator=(const ModalAnswerer&) = delete;

    QStringList titles() const { return m_titles; }
    QStringList texts() const { return m_texts; }
    void clear()
    {
        m_titles.clear();
        m_texts.clear();
    }

private:
    void answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        m_titles.append(box->windowTitle());
        m_texts.append(box->text());
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }

    QTimer m_timer;
    QStringList m_titles;
    QStringList m_texts;
};
