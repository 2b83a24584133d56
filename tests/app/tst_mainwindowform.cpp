// The window's form as built: every control by name, type and caption, the
// ranges and initial states, the exclusive radio groups, the picture views
// and the layouts.

#include "app/mainwindow.h"
#include "common/messagelog.h"
#include "common/privatesettings.h"
#include "plots/disparitylegend.h"
#include "plots/disparityplot.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QStackedLayout>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QtTest>
#include <memory>

namespace {

QString captionOf(const QObject* object)
{
    if (auto* label = qobject_cast<const QLabel*>(object))
        return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(object))
        return button->text();
    if (auto* group = qobject_cast<const QGroupBox*>(object))
        return group->title();
    if (auto* edit = qobject_cast<const QLineEdit*>(object))
        return edit->text();
    // A tab page is captioned by its tab.
    auto* widget = qobject_cast<const QWidget*>(object);
    for (const QObject* p = object->parent(); widget && p; p = p->parent())
        if (auto* tabs = qobject_cast<const QTabWidget*>(p))
            if (tabs->indexOf(const_cast<QWidget*>(widget)) >= 0)
                return tabs->tabText(tabs->indexOf(const_cast<QWidget*>(widget)));
    return QString();
}

void addObject(const char* name, const char* type, const QString& caption = QString())
{
    QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(type) << caption;
}

} // namespace

namespace {

// The legends lay out their own rows; they are not part of the form's layouts.
bool insideLegend(const QWidget* widget)
{
    for (; widget; widget = widget->parentWidget())
        if (dynamic_cast<const DisparityLegend*>(widget))
            return true;
    return false;
}

} // namespace

class TestMainWindowForm : public QObject
{
    Q_OBJECT

    PrivateSettings m_settings;
    std::unique_ptr<MainWindow> m_window;

    template <typename T> T* find(const QString& name)
    {
        T* object = m_window->findChild<T*>(name);
        if (!object)
            qWarning() << "no" << T::staticMetaObject.className() << "named" << name;
        return object;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        MessageLog log;
        m_window = std::make_unique<MainWindow>();
        // Every on_<object>_<signal> slot found its control and signal.
        for (const QString& line : log.lines())
            QVERIFY2(!line.contains("connectSlotsByName"), qPrintable(line));
    }
    void cleanupTestCase() { m_window.reset(); }

    void everyControlHasItsTypeAndCaption_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("caption");
        addObject("centralWidget", "QWidget");
        addObject("tabWidget", "QTabWidget");
        addObject("menuBar", "QMenuBar");
        addObject("mainToolBar", "QToolBar");
        addObject("statusBar", "QStatusBar");
        addObject("tabAcquisition", "QWidget", "Acquisition");
        addObject("tabCalibration", "QWidget", "Camera Calibration");
        addObject("tabDepth", "QWidget", "Disparity Map");

        // Acquisition
        addObject("frm_LiveView", "QFrame");
        addObject("scrollArea_LiveLeft", "QScrollArea");
        addObject("scrollArea_LiveRight", "QScrollArea");
        addObject("grpImageInfo", "QGroupBox", "Info");
        addObject("groupBox_2", "QGroupBox", "Left Camera");
        addObject("groupBox_3", "QGroupBox", "Right Camera");
        addObject("grp_Input", "QGroupBox", "Input");
        addObject("grp_InputModeSelector", "QGroupBox", "");
        addObject("rbn_SingleInput", "QRadioButton", "Single");
        addObject("rbn_DoubleInput", "QRadioButton", "Double");
        addObject("frm_SingleInputCtrl", "QGroupBox", "");
        addObject("cmb_SingleInput", "QComboBox");
        addObject("cmb_SingleDisplayMode", "QComboBox");
        addObject("radio_Identical", "QRadioButton", "Identical");
        addObject("radio_UnderOver", "QRadioButton", "Under/Over");
        addObject("radio_SideBySide", "QRadioButton", "Side by Side");
        addObject("chb_FullSizeHalves", "QCheckBox", "Full-size halves");
        addObject("frm_DoubleInputCtrl", "QGroupBox", "");
        addObject("label", "QLabel", "Left Camera");
        addObject("cmb_LeftCameraInput", "QComboBox");
        addObject("cmb_LeftDisplayMode", "QComboBox");
        addObject("label_2", "QLabel", "Right Camera");
        addObject("cmb_RightCameraInput", "QComboBox");
        addObject("cmb_RightDisplayMode", "QComboBox");
        addObject("btn_StartCapture", "QPushButton", "Start capture");
        addObject("groupBox_4", "QGroupBox", "Settings");
        addObject("groupBox_6", "QGroupBox", "Left camera");
        addObject("groupBox_5", "QGroupBox", "Right camera");
        const char* const settings[][3] = {
            {"Rotate Left", "sett_LeftRotateLeft", "sett_RightRotateLeft"},
            {"Rotate Right", "sett_LeftRotateRight", "sett_RightRotateRight"},
            {"Rotate 180", "sett_LeftRotate180", "sett_RightRotate180"},
            {"Flip horizontal", "sett_LeftFlipHorizontal", "sett_RightFlipHorizontal"},
            {"Flip vertical", "sett_LeftFlipVertical", "sett_RightFlipVertical"}};
        for (const auto& row : settings) {
            addObject(row[1], "QCheckBox", row[0]);
            addObject(row[2], "QCheckBox", row[0]);
        }
        addObject("lbl_duoscopeLogo", "QLabel", "");

        // Camera Calibration
        addObject("frm_MergedView", "QFrame");
        addObject("scrollArea_Merged", "QScrollArea");
        addObject("frm_ProcessedView", "QFrame");
        addObject("scrollArea_ProcessedLeft", "QScrollArea");
        addObject("scrollArea_ProcessedRight", "QScrollArea");
        addObject("groupBox", "QGroupBox",
                  "Board indicators: sums of corner offsets in px, area ratio, angle difference");
        addObject("label_3", "QLabel", "Zoom");
        addObject("label_4", "QLabel", "Rotation");
        addObject("label_5", "QLabel", "Y offset");
        addObject("label_6", "QLabel", "X Offset");
        addObject("lbl_AngleLeft", "QLabel", "TextLabel");
        addObject("lbl_AngleRight", "QLabel", "TextLabel");
        addObject("groupBox_7", "QGroupBox", "Output Image");
        addObject("rdb_CalibOutputAnaglyph", "QRadioButton", "Anaglyph");
        addObject("rdb_CalibOutputSum", "QRadioButton", "Sum");
        addObject("rdb_CalibOutputDifference", "QRadioButton", "Difference");
        addObject("btn_CalibrationDetailsShowHide", "QPushButton", "Show/hide details");
        addObject("lbl_duoscopeLogo_2", "QLabel", "");

        // Disparity Map
        addObject("frm_DisparityImgOutput", "QFrame");
        addObject("scrollArea_Merged_2", "QScrollArea");
        addObject("tab_DisparityDetails", "QTabWidget");
        addObject("tab", "QWidget", "Input Images");
        addObject("scrollArea_ProcessedLeft_3", "QScrollArea");
        addObject("scrollArea_ProcessedRight_3", "QScrollArea");
        addObject("tab_2", "QWidget", "Disparity Histogram");
        addObject("frm_DisparityLiveView", "QFrame");
        addObject("scrollArea_ProcessedLeft_2", "QScrollArea");
        addObject("scrollArea_ProcessedRight_2", "QScrollArea");
        addObject("groupBox_8", "QGroupBox", "Settings");
        addObject("groupBox_9", "QGroupBox", "Scene");
        addObject("label_15", "QLabel", "Parallax near:");
        addObject("label_19", "QLabel", "Parallax screen:");
        addObject("label_21", "QLabel", "Parallax far:");
        for (const char* name : {"label_16", "label_20", "label_22"})
            addObject(name, "QLabel", "%");
        addObject("groupBox_10", "QGroupBox", "Analysis");
        addObject("chb_OutputColored", "QCheckBox", "Colour the map by the parallax limits (off: grey)");
        addObject("btn_FitRange", "QPushButton", "Fit range");
        addObject("label_27", "QLabel", "Min. disparity");
        addObject("label_29", "QLabel", "Max. disparity");
        addObject("label_31", "QLabel", "Block size");
        for (const char* name : {"label_28", "label_30", "label_32"})
            addObject(name, "QLabel", "px");
        addObject("grp_SaveResults", "QGroupBox", "Save results");
        addObject("btn_setDisparityOutputDir", "QToolButton", "...");
        addObject("btn_calcDisparityMap", "QPushButton", "Analyze");
        addObject("btn_DisparityDetailsShowHide", "QPushButton", "Show/hide details");
        addObject("btn_DisparityPreviewShowHide", "QPushButton", "Show/hide live preview");
        addObject("chb_LiveAnalysis", "QCheckBox", "Live");
        addObject("grp_TargetScreen", "QGroupBox", "Target screen");
        addObject("lbl_TargetScreenCaption", "QLabel", "Screen:");
        addObject("lbl_ScreenWidthCaption", "QLabel", "Screen width:");
        addObject("lbl_ScreenWidthUnit", "QLabel", "m");
        addObject("lbl_EyeSeparationCaption", "QLabel", "Eye separation:");
        addObject("lbl_EyeSeparationUnit", "QLabel", "mm");
        addObject("lbl_duoscopeLogo_3", "QLabel", "");
    }
    void everyControlHasItsTypeAndCaption()
    {
        QFETCH(QString, name);
        QFETCH(QString, type);
        QFETCH(QString, caption);
        const QList<QObject*> found = m_window->findChildren<QObject*>(name);
        QCOMPARE(found.size(), 1);
        QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), type);
        QCOMPARE(captionOf(found.first()), caption);
    }

    void windowFromTheForm()
    {
        QCOMPARE(m_window->objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(m_window->centralWidget()->objectName(), QStringLiteral("centralWidget"));
        QCOMPARE(m_window->menuBar()->objectName(), QStringLiteral("menuBar"));
        auto* toolBar = find<QToolBar>("mainToolBar");
        QVERIFY(toolBar);
        QCOMPARE(m_window->toolBarArea(toolBar), Qt::TopToolBarArea);
        QVERIFY(toolBar->actions().isEmpty());
        QCOMPARE(m_window->statusBar()->objectName(), QStringLiteral("statusBar"));
        // Tooltips explain the disparity tab's signs, screen and live settings
        // and the legends' colours; nothing else carries one.
        const QStringList explained{"box_ParallaxNear", "box_ParallaxScreen",   "box_ParallaxFar",
                                    "cmb_TargetScreen", "box_ScreenWidth",      "box_EyeSeparation",
                                    "chb_LiveAnalysis", "btn_calcDisparityMap", "btn_FitRange"};
        for (const QWidget* widget : m_window->findChildren<QWidget*>()) {
            if (insideLegend(widget))
                continue;
            QVERIFY2(widget->toolTip().isEmpty() == !explained.contains(widget->objectName()),
                     qPrintable(widget->objectName()));
        }
    }

    // A desktop program's two menus, each holding one action.
    void menus_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::newRow("File") << 0 << "&File"
                              << "actionQuit"
                              << "&Quit" << QKeySequence(Qt::CTRL | Qt::Key_Q);
        QTest::newRow("Help") << 1 << "&Help"
                              << "actionAbout"
                              << "&About" << QKeySequence();
    }
    void menus()
    {
        QFETCH(int, position);
        QFETCH(QString, menu);
        QFETCH(QString, action);
        QFETCH(QString, text);
        QFETCH(QKeySequence, shortcut);
        const QList<QAction*> menus = m_window->menuBar()->actions();
        QCOMPARE(menus.size(), 2);
        QCOMPARE(menus.at(position)->text(), menu);
        QVERIFY(menus.at(position)->menu());
        const QList<QAction*> actions = menus.at(position)->menu()->actions();
        QCOMPARE(actions.size(), 1);
        QCOMPARE(actions.first()->objectName(), action);
        QCOMPARE(actions.first()->text(), text);
        QCOMPARE(actions.first()->shortcut(), shortcut);
    }

    void tabsInOrderWithTheFirstSelected()
    {
        auto* tabs = find<QTabWidget>("tabWidget");
        QVERIFY(tabs);
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->widget(0)->objectName(), QStringLiteral("tabAcquisition"));
        QCOMPARE(tabs->widget(1)->objectName(), QStringLiteral("tabCalibration"));
        QCOMPARE(tabs->widget(2)->objectName(), QStringLiteral("tabDepth"));
        QCOMPARE(tabs->currentIndex(), 0);

        auto* details = find<QTabWidget>("tab_DisparityDetails");
        QVERIFY(details);
        QCOMPARE(details->count(), 2);
        QCOMPARE(details->widget(0)->objectName(), QStringLiteral("tab"));
        QCOMPARE(details->widget(1)->objectName(), QStringLiteral("tab_2"));
        QCOMPARE(details->currentIndex(), 0);
        QVERIFY(!details->documentMode());
        QVERIFY(!details->isMovable());
        QVERIFY(!details->tabBarAutoHide());
        // The histogram page holds the plot, promoted from a plain widget of the form.
        auto* plot = dynamic_cast<DisparityPlot*>(find<QWidget>("wgt_DisparityHistogram"));
        QVERIFY(plot);
        QCOMPARE(plot->parentWidget(), details->widget(1));
    }

    void spinBoxes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("minimum");
        QTest::addColumn<double>("maximum");
        QTest::addColumn<double>("step");
        QTest::addColumn<double>("value");
        // The boxes take more than a parallax can be, so that the window refuses
        // such a value with a word instead of the box cutting it short.
        QTest::newRow("parallax near") << "box_ParallaxNear" << -999.99 << 999.99 << 0.1 << 0.0;
        QTest::newRow("parallax screen") << "box_ParallaxScreen" << -999.99 << 999.99 << 0.1 << 0.0;
        QTest::newRow("parallax far") << "box_ParallaxFar" << -999.99 << 999.99 << 0.1 << 0.0;
        // The matcher's limits, in steps of 16.
        QTest::newRow("min disparity") << "box_MinDisparity" << -2032.0 << 2048.0 << 16.0 << -64.0;
        QTest::newRow("max disparity") << "box_MaxDisparity" << -2032.0 << 2048.0 << 16.0 << 64.0;
        QTest::newRow("block size") << "box_BlockSize" << 3.0 << 31.0 << 2.0 << 11.0;
    }
    void spinBoxes()
    {
        QFETCH(QString, name);
        QFETCH(double, minimum);
        QFETCH(double, maximum);
        QFETCH(double, step);
        QFETCH(double, value);
        auto* box = find<QAbstractSpinBox>(name);
        QVERIFY(box);
        QVERIFY(box->alignment() & Qt::AlignRight);
        if (auto* real = qobject_cast<QDoubleSpinBox*>(box)) {
            QCOMPARE(real->decimals(), 2);
            QCOMPARE(real->minimum(), minimum);
            QCOMPARE(real->maximum(), maximum);
            QCOMPARE(real->singleStep(), step);
            QCOMPARE(real->value(), value);
            // Stepping stops at the ends of the range.
            real->setValue(maximum);
            real->stepUp();
            QCOMPARE(real->value(), maximum);
            real->setValue(minimum);
            real->stepDown();
            QCOMPARE(real->value(), minimum);
            real->setValue(value);
        } else {
            auto* whole = qobject_cast<QSpinBox*>(box);
            QVERIFY(whole);
            QCOMPARE(whole->minimum(), int(minimum));
            QCOMPARE(whole->maximum(), int(maximum));
            QCOMPARE(whole->singleStep(), int(step));
            QCOMPARE(whole->value(), int(value));
            whole->stepUp();
            QCOMPARE(whole->value(), int(value + step));
            whole->stepDown();
            whole->stepDown();
            QCOMPARE(whole->value(), int(value - step));
            whole->setValue(int(value));
        }
    }

    void sliders_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("singleStep");
        QTest::addColumn<int>("pageStep");
        QTest::newRow("zoom") << "slider_ZoomRelation" << -100 << 100 << 1 << 50;
        QTest::newRow("rotation") << "slider_Rotation" << -2 << 2 << 1 << 2;
        QTest::newRow("y offset") << "slider_YOffset" << -10 << 10 << 5 << 10;
        QTest::newRow("x offset") << "slider_XOffset" << -10 << 10 << 5 << 10;
    }
    void sliders()
    {
        QFETCH(QString, name);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, singleStep);
        QFETCH(int, pageStep);
        auto* slider = find<QSlider>(name);
        QVERIFY(slider);
        QCOMPARE(slider->minimum(), minimum);
        QCOMPARE(slider->maximum(), maximum);
        QCOMPARE(slider->singleStep(), singleStep);
        QCOMPARE(slider->pageStep(), pageStep);
        QCOMPARE(slider->value(), 0);
        QCOMPARE(slider->orientation(), Qt::Horizontal);
        QCOMPARE(slider->tickPosition(), QSlider::TicksBelow);
    }

    void indicatorTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pointSize");
        QTest::newRow("zoom") << "lbl_zoomTxt" << 12;
        QTest::newRow("rotation") << "lbl_RotationTxt" << 13;
        QTest::newRow("y offset") << "lbl_yOffsetTxt" << 12;
        QTest::newRow("x offset") << "lbl_xOffsetTxt" << 12;
    }
    void indicatorTexts()
    {
        QFETCH(QString, name);
        QFETCH(int, pointSize);
        auto* label = find<QLabel>(name);
        QVERIFY(label);
        QCOMPARE(label->font().pointSize(), pointSize);
        // The state colour is the label's background.
        QVERIFY(label->autoFillBackground());
        QVERIFY(label->text().isEmpty());
    }

    void checkedAndEnabledStates_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("enabled");
        // Without a card (these tests run without the driver) nothing can be
        // chosen or started: the input controls wait for the first card.
        QTest::newRow("Single") << "rbn_SingleInput" << true << true << false;
        QTest::newRow("Double") << "rbn_DoubleInput" << true << false << false;
        QTest::newRow("Identical") << "radio_Identical" << true << true << false;
        QTest::newRow("Under/Over") << "radio_UnderOver" << true << false << false;
        QTest::newRow("Side by Side") << "radio_SideBySide" << true << false << false;
        QTest::newRow("Start capture") << "btn_StartCapture" << true << false << false;
        QTest::newRow("Anaglyph") << "rdb_CalibOutputAnaglyph" << true << true << true;
        QTest::newRow("Sum") << "rdb_CalibOutputSum" << true << false << true;
        QTest::newRow("Difference") << "rdb_CalibOutputDifference" << true << false << true;
        QTest::newRow("calibration details") << "btn_CalibrationDetailsShowHide" << true << true << true;
        QTest::newRow("disparity details") << "btn_DisparityDetailsShowHide" << true << true << true;
        QTest::newRow("live preview") << "btn_DisparityPreviewShowHide" << true << true << true;
        QTest::newRow("OutputColored") << "chb_OutputColored" << true << true << true;
        QTest::newRow("Analyze") << "btn_calcDisparityMap" << false << false << true;
        QTest::newRow("Save results") << "grp_SaveResults" << true << false << true;
        QTest::newRow("single input group") << "frm_SingleInputCtrl" << false << false << false;
        QTest::newRow("double input group") << "frm_DoubleInputCtrl" << false << false << false;
        for (const char* side : {"Left", "Right"})
            for (const char* box :
                 {"RotateLeft", "RotateRight", "Rotate180", "FlipHorizontal", "FlipVertical"}) {
                const QByteArray name = QByteArray("sett_") + side + box;
                QTest::newRow(name.constData()) << QString::fromLatin1(name) << true << false << true;
            }
    }
    void checkedAndEnabledStates()
    {
        QFETCH(QString, name);
        QFETCH(bool, checkable);
        QFETCH(bool, checked);
        QFETCH(bool, enabled);
        QWidget* widget = find<QWidget>(name);
        QVERIFY(widget);
        QCOMPARE(widget->isEnabled(), enabled);
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            QCOMPARE(button->isCheckable(), checkable);
            QCOMPARE(button->isChecked(), checked);
        } else {
            auto* group = qobject_cast<QGroupBox*>(widget);
            QVERIFY(group);
            QCOMPARE(group->isCheckable(), checkable);
            QCOMPARE(group->isChecked(), checked);
        }
    }

    void radioGroupsAreExclusive_data()
    {
        QTest::addColumn<QStringList>("group");
        QTest::newRow("input mode") << QStringList{"rbn_SingleInput", "rbn_DoubleInput"};
        QTest::newRow("input layout")
            << QStringList{"radio_Identical", "radio_UnderOver", "radio_SideBySide"};
        QTest::newRow("output image")
            << QStringList{"rdb_CalibOutputAnaglyph", "rdb_CalibOutputSum", "rdb_CalibOutputDifference"};
    }
    void radioGroupsAreExclusive()
    {
        QFETCH(QStringList, group);
        QList<QRadioButton*> all = m_window->findChildren<QRadioButton*>();
        QHash<QRadioButton*, bool> before;
        for (QRadioButton* button : all)
            before[button] = button->isChecked();
        QRadioButton* initial = nullptr;
        for (const QString& name : group) {
            auto* chosen = find<QRadioButton>(name);
            QVERIFY(chosen);
            if (chosen->isChecked())
                initial = chosen;
            chosen->setChecked(true); // also while the input controls wait for a card
            for (QRadioButton* button : all) {
                const bool inGroup = group.contains(button->objectName());
                const bool expected = inGroup ? button == chosen : before[button];
                QVERIFY2(button->isChecked() == expected, qPrintable(button->objectName()));
            }
        }
        QVERIFY(initial);
        initial->setChecked(true);
    }

    void pagesSplitViewsAndControlsFourToOne_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("Acquisition") << "tabAcquisition";
        QTest::newRow("Camera Calibration") << "tabCalibration";
        QTest::newRow("Disparity Map") << "tabDepth";
    }
    void pagesSplitViewsAndControlsFourToOne()
    {
        QFETCH(QString, page);
        auto* layout = qobject_cast<QHBoxLayout*>(find<QWidget>(page)->layout());
        QVERIFY(layout);
        QCOMPARE(layout->count(), 2);
        QCOMPARE(layout->stretch(0), 4);
        QCOMPARE(layout->stretch(1), 1);
        QVERIFY(layout->itemAt(0)->layout());
        // The controls scroll on a screen too low for them.
        auto* controls = qobject_cast<QScrollArea*>(layout->itemAt(1)->widget());
        QVERIFY(controls && controls->widgetResizable());
        QVERIFY(controls->widget()->layout());
    }

    void picturesSitCentredInResizableScrollAreas_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("area");
        QTest::addColumn<QString>("frame");
        QTest::newRow("live left") << "lbl_ImageLiveLeft"
                                   << "scrollArea_LiveLeft"
                                   << "frm_LiveView";
        QTest::newRow("live right") << "lbl_ImageLiveRight"
                                    << "scrollArea_LiveRight"
                                    << "frm_LiveView";
        QTest::newRow("output image") << "lbl_ImageResult"
                                      << "scrollArea_Merged"
                                      << "frm_MergedView";
        QTest::newRow("processed left") << "lbl_ImageProcessedLeft"
                                        << "scrollArea_ProcessedLeft"
                                        << "frm_ProcessedView";
        QTest::newRow("processed right") << "lbl_ImageProcessedRight"
                                         << "scrollArea_ProcessedRight"
                                         << "frm_ProcessedView";
        QTest::newRow("disparity map") << "lbl_DisparityMapResult"
                                       << "scrollArea_Merged_2"
                                       << "frm_DisparityImgOutput";
        QTest::newRow("input left") << "lbl_DisparityInputImgL"
                                    << "scrollArea_ProcessedLeft_3"
                                    << "tab";
        QTest::newRow("input right") << "lbl_DisparityInputImgR"
                                     << "scrollArea_ProcessedRight_3"
                                     << "tab";
        QTest::newRow("preview left") << "lbl_DisparityLivePreviewLeft"
                                      << "scrollArea_ProcessedLeft_2"
                                      << "frm_DisparityLiveView";
        QTest::newRow("preview right") << "lbl_DisparityLivePreviewRight"
                                       << "scrollArea_ProcessedRight_2"
                                       << "frm_DisparityLiveView";
    }
    void picturesSitCentredInResizableScrollAreas()
    {
        QFETCH(QString, label);
        QFETCH(QString, area);
        QFETCH(QString, frame);
        auto* picture = find<QLabel>(label);
        auto* scrollArea = find<QScrollArea>(area);
        QVERIFY(picture && scrollArea);
        QVERIFY(scrollArea->widgetResizable());
        QCOMPARE(picture->parentWidget(), scrollArea->widget());
        QCOMPARE(picture->parentWidget()->parentWidget(), scrollArea->viewport());
        QCOMPARE(picture->alignment(), Qt::AlignCenter);
        QVERIFY(picture->text().isEmpty());
        auto* layout = qobject_cast<QVBoxLayout*>(scrollArea->widget()->layout());
        QVERIFY(layout);
        QCOMPARE(layout->contentsMargins(), QMargins(9, 9, 9, 9));
        QCOMPARE(layout->indexOf(picture), 0);
        QCOMPARE(scrollArea->parentWidget()->objectName(), frame);
        if (auto* panel = qobject_cast<QFrame*>(scrollArea->parentWidget());
            panel && frame.startsWith("frm_")) {
            QCOMPARE(panel->frameShape(), QFrame::StyledPanel);
            QCOMPARE(panel->frameShadow(), QFrame::Raised);
        }
    }

    void infoRows_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("value");
        const char* const rows[][2] = {{"Pixel format:", "PixelFormat"},
                                       {"Display mode:", "DisplayMode"},
                                       {"Timecode:", "Timecode"},
                                       {"Timecode Format:", "TimecodeFormat"},
                                       {"Timecode User Bits:", "TimecodeUserBits"},
                                       {"Hardware timestamp:", "HardwareReferenceTimestamp"},
                                       {"Stream time:", "StreamTime"}};
        for (const char* side : {"left", "right"})
            for (int row = 0; row < 7; ++row) {
                const QString value = QString("lbl_%1%2").arg(side, rows[row][1]);
                QTest::newRow(qPrintable(value)) << (side == QString("left") ? "groupBox_2" : "groupBox_3")
                                                 << row << rows[row][0] << value;
            }
    }
    void infoRows()
    {
        QFETCH(QString, group);
        QFETCH(int, row);
        QFETCH(QString, caption);
        QFETCH(QString, value);
        auto* form = qobject_cast<QFormLayout*>(find<QGroupBox>(group)->layout());
        QVERIFY(form);
        // The seven rows of the frame, and under them the frames as measured.
        QCOMPARE(form->rowCount(), 8);
        QCOMPARE(form->fieldGrowthPolicy(), QFormLayout::AllNonFixedFieldsGrow);
        auto* captionLabel = qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::LabelRole)->widget());
        auto* valueLabel = qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::FieldRole)->widget());
        QVERIFY(captionLabel && valueLabel);
        QCOMPARE(captionLabel->text(), caption);
        QCOMPARE(valueLabel->objectName(), value);
        QVERIFY(valueLabel->alignment() & Qt::AlignRight);
        QVERIFY(valueLabel->text().isEmpty());
    }

    void layoutsKeepTheirSpacingAndMargins()
    {
        QWidget* central = m_window->centralWidget();
        QList<QWidget*> widgets = central->findChildren<QWidget*>();
        widgets.prepend(central);
        for (const QWidget* widget : widgets) {
            const auto* layout = qobject_cast<const QLayout*>(widget->layout());
            // Only the form's own layouts, not those inside Qt's widgets.
            if (!layout || qobject_cast<const QStackedLayout*>(layout) ||
                widget->objectName().startsWith("qt_") || insideLegend(widget))
                continue;
            const bool pictureContent = qobject_cast<QScrollArea*>(
                widget->parentWidget() ? widget->parentWidget()->parentWidget() : nullptr);
            const int margin = pictureContent ? 9 : 11;
            QVERIFY2(layout->contentsMargins() == QMargins(margin, margin, margin, margin),
                     qPrintable(widget->objectName()));
            QVERIFY2(layout->spacing() == 6, qPrintable(widget->objectName()));
        }
    }
};

QTEST_MAIN(TestMainWindowForm)
#include "tst_mainwindowform.moc"
