#pragma once

// Reaches into a MainWindow for tests: its frame pipeline, found as the
// window's child, and the indicator history.

#include "app/mainwindow.h"

#include <QObject>

class MainWindowProbe
{
public:
    explicit MainWindowProbe(MainWindow& window) : m_window(window) {}

    FramePipeline& pipeline() const
    {
        auto* found = m_window.findChild<FramePipeline*>();
        if (!found)
            qFatal("the window has no frame pipeline");
        return *found;
    }
    int indicatorWritePosition() const { return m_window.m_indicatorHistory.writePosition(); }

    // What "Stop capture" does.
    void stopCapture() { m_window.stopCapture(); }

private:
    MainWindow& m_window;
};

// How many connections a signal has. QObject::receivers is protected; a
// pointer to it taken through a derived class may be used on any object.
struct ReceiverCount : QObject
{
    static int of(const QObject* sender, const char* signal)
    {
        return (sender->*(&ReceiverCount::receivers))(signal);
    }
};
