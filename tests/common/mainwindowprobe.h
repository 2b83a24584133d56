#pragma once

// Reaches into a MainWindow for tests: its frame pipeline and its parts,
// found as the window's children, and the indicator history.

#include "app/acquisitiontab.h"
#include "app/calibrationtab.h"
#include "app/capturecontrol.h"
#include "app/disparitytab.h"
#include "app/mainwindow.h"

#include <QObject>

class MainWindowProbe
{
public:
    explicit MainWindowProbe(MainWindow& window) : m_window(window) {}

    FramePipeline& pipeline() const { return child<FramePipeline>(); }
    AcquisitionTab& acquisition() const { return child<AcquisitionTab>(); }
    CalibrationTab& calibration() const { return child<CalibrationTab>(); }
    DisparityTab& disparity() const { return child<DisparityTab>(); }
    CaptureControl& capture() const { return child<CaptureControl>(); }
    // Where the calibration threads' results go: paired there, then shown.
    CalibrationPairing& pairing() const { return *pipeline().calibrationPairing(); }
    int indicatorWritePosition() const { return calibration().m_indicatorHistory.writePosition(); }

    // What "Stop capture" does.
    void stopCapture() { capture().stopCapture(); }

private:
    template <class T> T& child() const
    {
        auto* found = m_window.findChild<T*>();
        if (!found)
            qFatal("the window has no %s", T::staticMetaObject.className());
        return *found;
    }

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
