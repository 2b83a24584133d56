// Capture control: the input lists that follow the cards, the selected
// devices, and starting and stopping capture.

#include "app/mainwindow.h"
#include "pipeline/logcategories.h"

#include "capture/decklinkcodenames.h"
#include "ui_mainwindow.h"
#include <decklink/comptr.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QSignalBlocker>
#include <QStatusBar>

namespace {

DeckLinkDevice* deviceAt(const QComboBox* list, int index)
{
    const QVariant data = list->itemData(index, Qt::UserRole);
    return data.canConvert<void*>() ? static_cast<DeckLinkDevice*>(data.value<void*>()) : nullptr;
}

// Item data of the "Auto-detect" entry of a display-mode list; the other
// entries hold the mode's position in the card's list.
constexpr int kAutoDetect = -1;

// The card's display modes, by name, "Auto-detect" first (and chosen) where
// the card can detect its input's format.
void fillDisplayModes(QComboBox* modes, const DeckLinkDevice* device)
{
    const QSignalBlocker blocker(modes);
    modes->clear();
    if (!device)
        return;
    if (device->SupportsFormatDetection())
        modes->addItem(QStringLiteral("Auto-detect"), kAutoDetect);
    const std::vector<BMDDisplayMode>& codes = device->GetDisplayModes();
    for (size_t i = 0; i < codes.size(); ++i)
        modes->addItem(displayModeToString(codes[i]), static_cast<int>(i));
    modes->setCurrentIndex(0);
}

// Starts the device in the mode chosen in its list; under "Auto-detect" in
// the card's first mode, from which it follows the signal's format.
bool startInChosenMode(DeckLinkDevice* device, const QComboBox* modes)
{
    const QVariant chosen = modes->currentData();
    const int position = chosen.isValid() ? chosen.toInt() : kAutoDetect;
    if (position == kAutoDetect)
        return device->StartCapture(0, true);
    return device->StartCapture(static_cast<unsigned>(position), false);
}

} // namespace

void MainWindow::setUpCapture()
{
    m_ui->btn_StartCapture->setEnabled(false);
    setInputSelectionEnabled(false);
    connect(m_ui->rbn_SingleInput, SIGNAL(toggled(bool)), m_ui->frm_SingleInputCtrl, SLOT(setEnabled(bool)));
    connect(m_ui->rbn_DoubleInput, SIGNAL(toggled(bool)), m_ui->frm_DoubleInputCtrl, SLOT(setEnabled(bool)));
    // Halves exist only in the side-by-side and under/over layouts.
    connect(m_ui->radio_Identical, SIGNAL(toggled(bool)), m_ui->chb_FullSizeHalves, SLOT(setDisabled(bool)));
    m_ui->chb_FullSizeHalves->setDisabled(m_ui->radio_Identical->isChecked());

    m_deviceDiscovery = ComPtr<DeckLinkDeviceDiscovery>::adopt(new DeckLinkDeviceDiscovery);
    makeRoute(discoveryRoute());
    const bool enabled = m_deviceDiscovery->Enable();
    showDriverState(enabled, DeckLinkDeviceDiscovery::driverMessages());
}

void MainWindow::showDriverState(bool driverPresent, const QStringList& problems)
{
    // The status bar keeps the state for as long as the window is open; the
    // message box makes sure set-up problems are seen once.
    auto* state = new QLabel(m_ui->statusBar);
    state->setObjectName(QStringLiteral("lbl_DriverState"));
    state->setWordWrap(true);
    m_ui->statusBar->addWidget(state, 1);
    if (!problems.isEmpty()) {
        qCWarning(lcWindow).noquote() << "Capture driver:" << problems.join(QStringLiteral("; "));
        state->setText(QStringLiteral("Capture driver set-up problem: %1. Correct it and start the program "
                                      "again.")
                           .arg(problems.join(QStringLiteral("; "))));
        const QString message =
            QStringLiteral("The capture driver could not be set up as configured:\n\n%1\n\nCorrect the "
                           "set-up and start the program again; until then the cards concerned are not "
                           "listed.")
                .arg(problems.join(QLatin1Char('\n')));
        // Once the window is up, so that the box has the window behind it.
        QMetaObject::invokeMethod(
            this,
            [this, message] { onDisplayErrorMessage(QStringLiteral("Capture driver problem"), message); },
            Qt::QueuedConnection);
    } else if (!driverPresent) {
        const QString hint = QStringLiteral(
            "Please install the Blackmagic Desktop Video drivers to use the features of this application.");
        qCWarning(lcWindow).noquote() << hint;
        state->setText(QStringLiteral("No capture driver found. ") + hint);
    }
    state->setVisible(!state->text().isEmpty());
}

SignalRoute MainWindow::discoveryRoute() const
{
    const QObject* notifier = m_deviceDiscovery->notifier();
    return {{notifier, SIGNAL(deckLinkDeviceArrived(IDeckLink*)), this,
             SLOT(onDeckLinkDeviceArrived(IDeckLink*))},
            {notifier, SIGNAL(deckLinkDeviceRemoved(IDeckLink*)), this,
             SLOT(onDeckLinkDeviceRemoved(IDeckLink*))}};
}

void MainWindow::tearDownCapture()
{
    // No card may call back into a worker or the window once they start to go.
    for (int i = 0; i < m_ui->cmb_LeftCameraInput->count(); ++i) {
        DeckLinkDevice* device = deviceAt(m_ui->cmb_LeftCameraInput, i);
        if (device && device->IsCapturing())
            device->StopCapture();
    }
    if (m_deviceDiscovery) {
        cutRoute(discoveryRoute());
        m_deviceDiscovery->Disable();
        m_deviceDiscovery.reset();
    }
}

void MainWindow::releaseDevices()
{
    // The three lists hold the same devices; each holds one reference.
    const QSignalBlocker blocker(m_ui->cmb_LeftCameraInput);
    while (m_ui->cmb_LeftCameraInput->count() > 0) {
        DeckLinkDevice* device = deviceAt(m_ui->cmb_LeftCameraInput, 0);
        m_ui->cmb_LeftCameraInput->removeItem(0);
        if (device)
            device->Release();
    }
    m_deckLinkLeftSelectedDevice = m_deckLinkRightSelectedDevice = m_deckLinkSingleSelectedDevice = nullptr;
}

QComboBox* MainWindow::displayModeList(const QComboBox* inputList) const
{
    if (inputList == m_ui->cmb_LeftCameraInput)
        return m_ui->cmb_LeftDisplayMode;
    if (inputList == m_ui->cmb_RightCameraInput)
        return m_ui->cmb_RightDisplayMode;
    return m_ui->cmb_SingleDisplayMode;
}

bool MainWindow::anyDeviceCapturing() const
{
    for (DeckLinkDevice* device :
         {m_deckLinkLeftSelectedDevice, m_deckLinkRightSelectedDevice, m_deckLinkSingleSelectedDevice})
        if (device && device->IsCapturing())
            return true;
    return false;
}

void MainWindow::setInputSelectionEnabled(bool enabled)
{
    if (m_ui->rbn_SingleInput->isChecked())
        m_ui->frm_SingleInputCtrl->setEnabled(enabled);
    if (m_ui->rbn_DoubleInput->isChecked())
        m_ui->frm_DoubleInputCtrl->setEnabled(enabled);
    m_ui->grp_InputModeSelector->setEnabled(enabled);
}

void MainWindow::onNewDeviceSelected(QComboBox* list, DeckLinkDevice*& selected)
{
    const int index = list->currentIndex();
    if (index < 0) {
        fillDisplayModes(displayModeList(list), nullptr);
        return;
    }
    selected = deviceAt(list, index);
    fillDisplayModes(displayModeList(list), selected);
    qCDebug(lcWindow) << "onNewDeviceSelected() - deckLinkSelectedDevice: " << static_cast<void*>(selected);
    if (selected)
        qCDebug(lcWindow) << "onNewDeviceSelected() - deckLinkSelectedDevice: " << selected->GetDeviceName();
    setInputSelectionEnabled(true);
}

void MainWindow::on_cmb_LeftCameraInput_currentIndexChanged(int)
{
    onNewDeviceSelected(m_ui->cmb_LeftCameraInput, m_deckLinkLeftSelectedDevice);
}

void MainWindow::on_cmb_RightCameraInput_currentIndexChanged(int)
{
    onNewDeviceSelected(m_ui->cmb_RightCameraInput, m_deckLinkRightSelectedDevice);
}

void MainWindow::on_cmb_SingleInput_currentIndexChanged(int)
{
    onNewDeviceSelected(m_ui->cmb_SingleInput, m_deckLinkSingleSelectedDevice);
}

void MainWindow::onDeckLinkDeviceArrived(IDeckLink* deckLink)
{
    auto* device = new DeckLinkDevice(deckLink);
    if (!device->Init()) {
        const QString message = device->GetErrorMessage();
        device->Release();
        onDisplayErrorMessage(QStringLiteral("DeckLink Device Error"), message);
        return;
    }
    qCDebug(lcWindow) << "onDeckLinkDeviceArrived() - newDevice = " << static_cast<void*>(device);
    // The connection ends with the device's notifier.
    connect(device->notifier(), &DeckLinkDeviceQtNotifier::captureStopped, this,
            [this, device](const QString& reason) { onCaptureStopped(device, reason); });

    const std::pair<QComboBox*, DeckLinkDevice**> lists[] = {
        {m_ui->cmb_LeftCameraInput, &m_deckLinkLeftSelectedDevice},
        {m_ui->cmb_RightCameraInput, &m_deckLinkRightSelectedDevice},
        {m_ui->cmb_SingleInput, &m_deckLinkSingleSelectedDevice}};
    for (const auto& [list, selected] : lists) {
        list->addItem(QIcon(), device->GetDeviceName(), QVariant::fromValue(static_cast<void*>(device)));
        if (list->count() == 1) {
            list->setCurrentIndex(0);
            onNewDeviceSelected(list, *selected);
            m_ui->btn_StartCapture->setEnabled(true);
            setInputSelectionEnabled(true);
        }
    }
    // Two cards make a rig: the right camera takes the newcomer rather than
    // the card the left camera already uses, so that a start goes through.
    QComboBox* const right = m_ui->cmb_RightCameraInput;
    if (right->count() > 1 && m_deckLinkRightSelectedDevice == m_deckLinkLeftSelectedDevice &&
        !anyDeviceCapturing()) {
        right->setCurrentIndex(right->count() - 1);
        onNewDeviceSelected(right, m_deckLinkRightSelectedDevice);
    }
}

int MainWindow::listPosition(IDeckLink* deckLink) const
{
    const QComboBox* const left = m_ui->cmb_LeftCameraInput;
    for (int i = 0; i < left->count(); ++i) {
        DeckLinkDevice* device = deviceAt(left, i);
        if (device && device->GetDeckLink() == deckLink)
            return i;
    }
    return -1;
}

void MainWindow::onDeckLinkDeviceRemoved(IDeckLink* deckLink)
{
    QComboBox* const left = m_ui->cmb_LeftCameraInput;
    int position = listPosition(deckLink);
    if (position < 0)
        return;
    DeckLinkDevice* const removed = deviceAt(left, position);
    // A capture that loses a card ends as a click on "Stop capture" ends it:
    // the other card stops too and no connection is left from either card to
    // the preprocessing threads, which a later start with other cards would
    // otherwise still feed. The stop delivers the window's queued calls,
    // other cards' arrivals and removals among them, so the entry is looked
    // up again.
    if (removed->IsCapturing()) {
        stopCapture();
        position = listPosition(deckLink);
    }

    {
        // The selections are settled below, once the entry is gone from all
        // three lists; the lists must not re-select on their own meanwhile.
        const QSignalBlocker blockLeft(m_ui->cmb_LeftCameraInput);
        const QSignalBlocker blockRight(m_ui->cmb_RightCameraInput);
        const QSignalBlocker blockSingle(m_ui->cmb_SingleInput);
        m_ui->cmb_LeftCameraInput->removeItem(position);
        m_ui->cmb_RightCameraInput->removeItem(position);
        m_ui->cmb_SingleInput->removeItem(position);
    }

    if (left->count() > 0) {
        // Every list that showed the removed card moves to its first entry;
        // none may keep pointing at a device about to be released.
        const std::pair<QComboBox*, DeckLinkDevice**> lists[] = {
            {m_ui->cmb_LeftCameraInput, &m_deckLinkLeftSelectedDevice},
            {m_ui->cmb_RightCameraInput, &m_deckLinkRightSelectedDevice},
            {m_ui->cmb_SingleInput, &m_deckLinkSingleSelectedDevice}};
        for (const auto& [list, selected] : lists) {
            if (*selected != removed)
                continue;
            const QSignalBlocker blocker(list);
            list->setCurrentIndex(0);
            onNewDeviceSelected(list, *selected);
        }
        // A selection step enables the input controls; while the other cards
        // go on capturing they must stay locked.
        for (DeckLinkDevice* device :
             {m_deckLinkLeftSelectedDevice, m_deckLinkRightSelectedDevice, m_deckLinkSingleSelectedDevice})
            if (device && device->IsCapturing())
                setInputSelectionEnabled(false);
        m_ui->btn_StartCapture->setEnabled(true);
    } else {
        m_ui->btn_StartCapture->setText(QStringLiteral("Start capture"));
        m_ui->btn_StartCapture->setEnabled(false);
        setInputSelectionEnabled(false);
        m_deckLinkLeftSelectedDevice = m_deckLinkRightSelectedDevice = m_deckLinkSingleSelectedDevice =
            nullptr;
        for (QComboBox* list : {m_ui->cmb_LeftCameraInput, m_ui->cmb_RightCameraInput, m_ui->cmb_SingleInput})
            fillDisplayModes(displayModeList(list), nullptr);
    }
    removed->Release();
}

void MainWindow::on_btn_StartCapture_clicked()
{
    if (m_ui->rbn_SingleInput->isChecked()) {
        if (!m_deckLinkSingleSelectedDevice)
            return;
        if (m_deckLinkSingleSelectedDevice->IsCapturing())
            stopCapture();
        else
            startCapture();
    } else if (m_ui->rbn_DoubleInput->isChecked()) {
        if (!m_deckLinkLeftSelectedDevice || !m_deckLinkRightSelectedDevice)
            return;
        if (m_deckLinkLeftSelectedDevice->IsCapturing() || m_deckLinkRightSelectedDevice->IsCapturing())
            stopCapture();
        else
            startCapture();
    }
}

void MainWindow::startCapture()
{
    using Side = FramePipeline::Side;
    if (m_ui->rbn_SingleInput->isChecked()) {
        DeckLinkDevice* const device = m_deckLinkSingleSelectedDevice;
        qCDebug(lcWindow) << "m_deckLinkSingleSelectedDevice: " << static_cast<void*>(device);
        qCDebug(lcWindow) << "m_deckLinkSingleSelectedDevice - Name: " << device->GetDeviceName();
        // The one input feeds both cameras; the layout settings decide which
        // part of the picture each keeps.
        m_pipeline->feed(Side::Left, device->notifier());
        m_pipeline->feed(Side::Right, device->notifier());
        startDevice(device, m_ui->cmb_SingleDisplayMode, QStringLiteral("Single input start capture error"),
                    {true, true});
        return;
    }

    DeckLinkDevice* const left = m_deckLinkLeftSelectedDevice;
    DeckLinkDevice* const right = m_deckLinkRightSelectedDevice;
    qCDebug(lcWindow) << "m_deckLinkLeftSelectedDevice: " << left->GetDeviceName();
    qCDebug(lcWindow) << "m_deckLinkRightSelectedDevice: " << right->GetDeviceName();
    if (left == right) {
        onDisplayErrorMessage(QStringLiteral("Start Capture Error"),
                              QStringLiteral("Select different input devices for left and right display"));
        return;
    }
    // A failed start shows an error box and delivers queued calls; in either,
    // the right card may go away and the window release its device. Held
    // here, it stays valid until the start is over.
    const auto holdRight = ComPtr<DeckLinkDevice>::share(right);
    m_pipeline->feed(Side::Left, left->notifier());
    if (!startDevice(left, m_ui->cmb_LeftDisplayMode, QStringLiteral("Left camera start capture error"),
                     {true, false}))
        return;
    m_pipeline->feed(Side::Right, right->notifier());
    startDevice(right, m_ui->cmb_RightDisplayMode, QStringLiteral("Right camera start capture error"),
                {false, true});
}

bool MainWindow::startDevice(DeckLinkDevice* device, const QComboBox* modes, const QString& title,
                             std::pair<bool, bool> sides)
{
    if (startInChosenMode(device, modes)) {
        m_ui->btn_StartCapture->setText(QStringLiteral("Stop capture"));
        setInputSelectionEnabled(false);
        return true;
    }
    // Half a rig is no rig: a card that started is stopped again, and the
    // side that failed keeps no rows of an earlier capture.
    QString message = device->GetDeviceName() + QStringLiteral(": ") + device->GetErrorMessage();
    // The driver's own account of why this card failed (a real input names
    // the media engine's error and the package to install) says what to fix.
    const QString quotedName = QLatin1Char('"') + device->GetDeviceName() + QLatin1Char('"');
    for (const QString& problem : DeckLinkDeviceDiscovery::driverMessages())
        if (problem.startsWith(quotedName))
            message += QLatin1Char('\n') + problem;
    stopCapture();
    clearFrameInfo(sides.first, sides.second);
    onDisplayErrorMessage(title, message);
    return false;
}

void MainWindow::onCaptureStopped(DeckLinkDevice* device, const QString& reason)
{
    // A stop of the user's may have come first.
    if (!device->IsCapturing())
        return;
    stopCapture();
    onDisplayErrorMessage(QStringLiteral("Capture stopped"), reason);
}

void MainWindow::stopCapture()
{
    switchLiveAnalysisOff();
    for (DeckLinkDevice* device :
         {m_deckLinkLeftSelectedDevice, m_deckLinkRightSelectedDevice, m_deckLinkSingleSelectedDevice})
        if (device)
            device->StopCapture();
    // No card link is left to the preprocessing threads, which a later start
    // with other cards would otherwise still feed.
    m_pipeline->stopFeeding();

    // Frames the preprocessing threads sent before they stopped are still
    // queued to the window; shown after the views are cleared, they would
    // leave a stopped capture's last pictures standing.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);

    m_ui->btn_StartCapture->setText(QStringLiteral("Start capture"));
    setInputSelectionEnabled(true);
    m_ui->lbl_ImageLiveLeft->setPixmap(QPixmap());
    m_ui->lbl_ImageLiveRight->setPixmap(QPixmap());
    clearCalibrationResults();
}
