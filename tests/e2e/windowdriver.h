#pragma once

// Drives the real window as a user does, on the virtual cards: picks the
// input mode and cards, clicks the start button, and reads back what the
// window shows. Each test process configures its own cards first.

#include "app/mainwindow.h"
#include "capture/cardlistmodel.h"
#include "common/modalanswerer.h"
#include "common/privatesettings.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>
#include <decklink/virtualcards.h>

class WindowDriver
{
public:
    explicit WindowDriver(MainWindow& window) : m_window(window) {}

    template <typename T = QWidget> T* widget(const char* name) const
    {
        T* found = m_window.findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("the window has no %s", name);
        return found;
    }

    QComboBox* leftList() const { return widget<QComboBox>("cmb_LeftCameraInput"); }
    QComboBox* rightList() const { return widget<QComboBox>("cmb_RightCameraInput"); }
    QComboBox* singleList() const { return widget<QComboBox>("cmb_SingleInput"); }
    QPushButton* startButton() const { return widget<QPushButton>("btn_StartCapture"); }
    QTabWidget* tabs() const { return widget<QTabWidget>("tabWidget"); }
    QString caption() const { return startButton()->text(); }
    QString label(const char* name) const { return widget<QLabel>(name)->text(); }

    static QStringList entries(const QComboBox* list)
    {
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
            names << list->itemText(i);
        return names;
    }

    // The device behind an entry of a list, as the window's card model holds it.
    static DeckLinkDevice* deviceAt(const QComboBox* list, int index)
    {
        const auto* cards = qobject_cast<const CardListModel*>(list->model());
        if (!cards)
            qFatal("the list %s shows no card model", qPrintable(list->objectName()));
        return cards->device(index);
    }

    bool showsPicture(const char* name) const
    {
        return !widget<QLabel>(name)->pixmap(Qt::ReturnByValue).isNull();
    }
    bool liveViewsFilled() const
    {
        return showsPicture("lbl_ImageLiveLeft") && showsPicture("lbl_ImageLiveRight");
    }
    bool liveViewsEmpty() const
    {
        return !showsPicture("lbl_ImageLiveLeft") && !showsPicture("lbl_ImageLiveRight");
    }

    // Single mode on the card at `index`, its two halves side by side.
    void chooseSingle(int index)
    {
        widget<QRadioButton>("rbn_SingleInput")->setChecked(true);
        widget<QRadioButton>("radio_SideBySide")->setChecked(true);
        singleList()->setCurrentIndex(index);
    }
    void chooseDouble(int left, int right)
    {
        widget<QRadioButton>("rbn_DoubleInput")->setChecked(true);
        leftList()->setCurrentIndex(left);
        rightList()->setCurrentIndex(right);
    }
    void click() { QTest::mouseClick(startButton(), Qt::LeftButton); }

private:
    MainWindow& m_window;
};

// The virtual cards of a configuration text; a text the driver refuses fails
// the test with the driver's reason.
inline void configureCards(const char* text)
{
    std::string error;
    QVERIFY2(virtualcards::configure(text, &error), error.c_str());
}

// Waits until the driver has reported `count` cards to the window.
inline bool waitForCards(const WindowDriver& driver, int count)
{
    return QTest::qWaitFor([&] { return driver.leftList()->count() == count; }, 10000);
}

// The cards of a configuration text, set up before anything that lists them.
struct CardConfiguration
{
    explicit CardConfiguration(const std::string& text) : configured(virtualcards::configure(text, &error)) {}

    // The driver's reason when it refuses the text.
    std::string error;
    bool configured;
};

// The set-up every end-to-end test repeats, as one object: the cards of a
// configuration, an answerer for the message boxes that open, the window on
// those cards, and the driver of that window (this object itself).
class WindowOnCards : private CardConfiguration, public WindowDriver
{
public:
    // The window is built on the cards once they are configured.
    explicit WindowOnCards(const std::string& configuration)
        : CardConfiguration(configuration), WindowDriver(window)
    {}

    // True once the driver took the configuration and the window lists
    // `count` cards (any number when none is given); else problem() says
    // which of the two went wrong.
    bool ready(int count = -1)
    {
        if (!configured)
            return false;
        if (count < 0 || waitForCards(*this, count))
            return true;
        error = QStringLiteral("the window lists %1 cards, not %2")
                    .arg(leftList()->count())
                    .arg(count)
                    .toStdString();
        return false;
    }
    const char* problem() const { return error.c_str(); }

    ModalAnswerer answerer;
    MainWindow window;
};

// Every frame writes debug lines when they are switched on; only the tests
// that read the log want them, and Qt's own stay quiet too.
inline void silenceFrameLog()
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
}

// Once the window is gone every card object it held has been released.
inline void verifyEveryCardReleased()
{
    QVERIFY(virtualcards::configure("cards: []"));
    QCOMPARE(virtualcards::liveObjects(), 0L);
}

// The set-up the end-to-end test classes share: settings of their own, the
// frame log quiet, and every card let go after each test. Qt Test runs the
// slots a test class inherits as its own.
class WindowTestCase : public QObject
{
    Q_OBJECT

    PrivateSettings m_settings;

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        silenceFrameLog();
    }

    void cleanup() { verifyEveryCardReleased(); }
};
