#pragma once

#include "app/framepipeline.h"

#include <QMainWindow>
#include <QStringList>
#include <memory>

class AcquisitionTab;
class CalibrationTab;
class CaptureControl;
class DisparityTab;

namespace Ui {
class MainWindow;
}

// The program's only window. It owns the form and composes the objects that
// run its parts, each a child of the window that owns its widgets' behaviour
// and talks to the pipeline itself: the capture controls (capturecontrol.h),
// the acquisition tab's views and input settings (acquisitiontab.h), the
// calibration tab (calibrationtab.h, with its alignment panel) and the
// disparity tab (disparitytab.h, with its export). The window keeps the
// menus, the status bar, the error dialog and the choice of the pipeline's
// branch by tab.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Shows a critical message box over the window and returns once it is
    // closed: the one way errors reach the user.
    void onDisplayErrorMessage(const QString& title, const QString& message);

    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void on_tabWidget_currentChanged(int index);
    void on_actionQuit_triggered();
    void on_actionAbout_triggered();

protected:
    // Asks the user for the directory the disparity results go to, starting at
    // current; an empty answer when the user cancels.
    virtual QString askForOutputDirectory(const QString& current);

private:
    // The branch of the pipeline the tab's page shows.
    FramePipeline::Branch branchOfPage(const QWidget* page) const;
    // The driver's state in the status bar: its set-up problems (also in a
    // message box once the window is up), or the hint to install it.
    void showDriverState(bool driverPresent, const QStringList& problems);

    Ui::MainWindow* m_ui;
    // The workers, created once with the window, a child of it. Capture feeds
    // them; which of them get the frames follows the tab while capture is on.
    FramePipeline* m_pipeline = nullptr;
    // The window's parts, children of the window, let go before the form's widgets.
    std::unique_ptr<AcquisitionTab> m_acquisition;
    std::unique_ptr<CalibrationTab> m_calibration;
    std::unique_ptr<DisparityTab> m_disparity;
    std::unique_ptr<CaptureControl> m_capture;
};
