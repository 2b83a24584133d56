#pragma once

// Reaches into a MainWindow for tests: its six workers, the capture flag and
// the indicator history, and a capture start without a card that wires the
// preprocessing threads as a real start does.

#include "app/mainwindow.h"

#include <QObject>

class MainWindowProbe
{
public:
    explicit MainWindowProbe(MainWindow& window) : m_window(window) {}

    ImgPreprocessingThread* leftPreprocessing() const { return m_window.m_leftPreprocessingThread; }
    ImgPreprocessingThread* rightPreprocessing() const { return m_window.m_rightPreprocessingThread; }
    CalibrationThread* leftCalibration() const { return m_window.m_leftCalibrationThread; }
    CalibrationThread* rightCalibration() const { return m_window.m_rightCalibrationThread; }
    SynchronizationThread* synchronization() const { return m_window.m_synchronizationThread; }
    DisparityMapThread* disparityMap() const { return m_window.m_disparityMapThread; }

    bool captureStarted() const { return m_window.m_captureStarted; }
    int indicatorWritePosition() const { return m_window.m_indicatorHistory.writePosition(); }

    // What a capture start leaves behind: both preprocessing threads running,
    // their results routed to the live views, the capture flag set. The frames
    // themselves come from whatever the test connects to the threads.
    void startCapture()
    {
        leftPreprocessing()->start();
        rightPreprocessing()->start();
        m_window.connectRawView();
        m_window.m_captureStarted = true;
    }

    // Only marks capture as started, for tests that drive the analysis threads directly.
    void markCaptureStarted() { m_window.m_captureStarted = true; }

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
