// The window as it opens: title, state, hidden parts, the output directory
// from the settings store, frames arriving from another thread, the error
// dialog, and the About box and Quit of its menus.

#include "app/appnames.h"
#include "app/mainwindow.h"
#include "common/mainwindowprobe.h"
#include "common/messagelog.h"
#include "common/modalanswerer.h"
#include "common/privatesettings.h"
#include "version.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QToolBar>
#include <QtTest>
#include <thread>

// Stands for a worker thread that hands frames to the window.
class FrameSource : public QObject
{
    Q_OBJECT
signals:
    void newProcessingResults(VideoFrame frame);
};

class TestStartup : public QObject
{
    Q_OBJECT

    PrivateSettings m_settings;

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        // The store the window uses lies in the private location.
        QVERIFY(QSettings(kOrganizationName, kApplicationName).fileName().startsWith(m_settings.path()));
    }

    void opensMaximizedOnTheFirstTabWithoutToolBar()
    {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Duoscope Camera Calibrator"));
        QVERIFY(window.isVisible());
        QVERIFY(window.isMaximized());
        QVERIFY(window.findChild<QToolBar*>("mainToolBar")->isHidden());
        QCOMPARE(window.findChild<QTabWidget*>("tabWidget")->currentIndex(), 0);
        QVERIFY(!window.windowIcon().isNull());
    }

    void angleLabelsAreNeverVisible()
    {
        MainWindow window;
        auto* tabs = window.findChild<QTabWidget*>("tabWidget");
        auto* left = window.findChild<QLabel*>("lbl_AngleLeft");
        auto* right = window.findChild<QLabel*>("lbl_AngleRight");
        QVERIFY(tabs && left && right);
        for (int index : {1, 2, 0, 1}) {
            tabs->setCurrentIndex(index);
            QCoreApplication::processEvents();
            QVERIFY(!left->isVisible());
            QVERIFY(!right->isVisible());
        }
    }

    // First run, then a run after the directory was chosen and stored.
    void outputDirectoryComesFromTheSettings()
    {
        QSettings(kOrganizationName, kApplicationName).clear();
        {
            MainWindow window;
            QCOMPARE(window.findChild<QLineEdit*>("lineEdit_disparityOutputDir")->text(), QDir::homePath());
        }
        // Opening the window stores nothing.
        QVERIFY(!QSettings(kOrganizationName, kApplicationName).contains("DisparityMapOutputDir"));

        const QString chosen = QDir(m_settings.path()).filePath(QStringLiteral("takes/day 2"));
        QSettings(kOrganizationName, kApplicationName).setValue("DisparityMapOutputDir", chosen);
        MainWindow window;
        QCOMPARE(window.findChild<QLineEdit*>("lineEdit_disparityOutputDir")->text(), chosen);
        QSettings(kOrganizationName, kApplicationName).clear();
    }

    // Frames cross from the workers' threads by queued connections made by
    // signature string, which needs the "VideoFrame" type known by name.
    void framesArriveFromAnotherThread()
    {
        MainWindow window;
        FrameSource source;
        MessageLog log;
        QVERIFY(QObject::connect(&source, SIGNAL(newProcessingResults(VideoFrame)),
                                 &MainWindowProbe(window).acquisition(),
                                 SLOT(onNewLeftRawFrameArrived(VideoFrame))));
        VideoFrame frame;
        frame.image = cv::Mat(90, 160, CV_8UC3, cv::Scalar(0, 0, 255));
        frame.timecode = packTimeWord(10, 20, 30, 12);
        std::thread worker([&] { emit source.newProcessingResults(frame); });
        worker.join();
        auto* view = window.findChild<QLabel*>("lbl_ImageLiveLeft");
        QTRY_VERIFY(!view->pixmap(Qt::ReturnByValue).isNull());
        QCOMPARE(window.findChild<QLabel*>("lbl_leftTimecode")->text(), QStringLiteral("010:20:30:12"));
        QCOMPARE(log.count("Cannot queue arguments"), 0);
    }

    void errorDialogIsACriticalBoxWithOk()
    {
        MainWindow window;
        QLoggingCategory::setFilterRules("duoscope.window.debug=true");
        MessageLog log;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QWidget* parent = nullptr;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            parent = box->parentWidget();
            box->button(QMessageBox::Ok)->click();
        });
        window.onDisplayErrorMessage("Write error", "Cannot write results of disparity analysis");
        QCOMPARE(title, QStringLiteral("Write error"));
        QCOMPARE(text, QStringLiteral("Cannot write results of disparity analysis"));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(parent, &window);
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(log.count("onDisplayErrorMessage"), 1);
    }

    void aboutBoxNamesTheVersion()
    {
        MainWindow window;
        auto* about = window.findChild<QAction*>("actionAbout");
        QVERIFY(about);
        ModalAnswerer answerer;
        about->trigger();
        QCOMPARE(answerer.titles(), QStringList{QStringLiteral("About Duoscope Camera Calibrator")});
        const QString text = answerer.texts().value(0);
        QVERIFY2(text.contains(QStringLiteral("Version %1").arg(QString(kDuoscopeVersion))),
                 qPrintable(text));
        // The libraries a bug report needs, as loaded.
        QVERIFY2(text.contains(QStringLiteral("Qt %1").arg(QString(qVersion()))), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("OpenCV %1").arg(QString::fromLatin1(CV_VERSION))),
                 qPrintable(text));
    }

    void ctrlQClosesTheWindow()
    {
        MainWindow window;
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!window.isVisible());
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
