// Capture control: the input lists that follow the cards, the selected
// devices, and starting and stopping capture.

#include "app/mainwindow.h"

#include "ui_mainwindow.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QSignalBlocker>

namespace {

// Frames must not arrive twice when a start is attempted again after a
// failed one, so the capture connections are made only once.
constexpr auto captureConnection = static_cast<Qt::ConnectionType>(Qt::AutoConnection | Qt::UniqueConnection);

DeckLinkDevice* deviceAt(const QComboBox* list, int index)
{
    const QVariant data = list->itemData(index, Qt::UserRole);
    return data.canConvert<void*>() ? static_cast<DeckLinkDevice*>(data.value<void*>()) : nullptr;
}

} // namespace

void MainWindow::setUpCapture()
{
    m_ui->btn_StartCapture->setEnabled(false);
    setInputSelectionEnabled(false);
    connect(m_ui->rbn_SingleInput, SIGNAL(toggled(bool)), m_ui->frm_SingleInputCtrl, SLOT(setEnabled(bool)));
    connect(m_ui->rbn_DoubleInput, SIGNAL(toggled(bool)), m_ui->frm_DoubleInputCtrl, SLOT(setEnabled(bool)));

    m_deviceDiscovery = new DeckLinkDeviceDiscovery;
    connect(m_deviceDiscovery->notifier(), SIGNAL(deckLinkDeviceArrived(IDeckLink*)), this,
            SLOT(onDeckLinkDeviceArrived(IDeckLink*)));
    connect(m_deviceDiscovery->notifier(), SIGNAL(deckLinkDeviceRemoved(IDeckLink*)), this,
            SLOT(onDeckLinkDeviceRemoved(IDeckLink*)));
    if (!m_deviceDiscovery->Enable())
        qDebug()
            << "Please install the Blackmagic Desktop Video drivers to use the features of this application.";
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
        disconnect(m_deviceDiscovery->notifier(), SIGNAL(deckLinkDeviceArrived(IDeckLink*)), this,
                   SLOT(onDeckLinkDeviceArrived(IDeckLink*)));
        disconnect(m_deviceDiscovery->notifier(), SIGNAL(deckLinkDeviceRemoved(IDeckLink*)), this,
                   SLOT(onDeckLinkDeviceRemoved(IDeckLink*)));
        m_deviceDiscovery->Disable();
        m_deviceDiscovery->Release();
        m_deviceDiscovery = nullptr;
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
    if (index < 0)
        return;
    selected = deviceAt(list, index);
    qDebug() << "onNewDeviceSelected() - deckLinkSelectedDevice: " << static_cast<void*>(selected);
    if (selected)
        qDebug() << "onNewDeviceSelected() - deckLinkSelectedDevice: " << selected->GetDeviceName();
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
    qDebug() << "onDeckLinkDeviceArrived() - newDevice = " << static_cast<void*>(device);

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
    if (m_ui->rbn_SingleInput->isChecked()) {
        DeckLinkDevice* const device = m_deckLinkSingleSelectedDevice;
        qDebug() << "m_deckLinkSingleSelectedDevice: " << static_cast<void*>(device);
        qDebug() << "m_deckLinkSingleSelectedDevice - Name: " << device->GetDeviceName();
        // The one input feeds both cameras; the layout settings decide which
        // part of the picture each keeps.
        connect(device->notifier(), SIGNAL(newFrameArrived(VideoFrame)), m_leftPreprocessingThread,
                SLOT(onNewInputFrameArrived(VideoFrame)), captureConnection);
        connect(device->notifier(), SIGNAL(newFrameArrived(VideoFrame)), m_rightPreprocessingThread,
                SLOT(onNewInputFrameArrived(VideoFrame)), captureConnection);
        connect(m_leftPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), this,
                SLOT(onNewLeftRawFrameArrived(VideoFrame)), captureConnection);
        connect(m_rightPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), this,
                SLOT(onNewRightRawFrameArrived(VideoFrame)), captureConnection);
        m_leftPreprocessingThread->start();
        m_rightPreprocessingThread->start();
        // Format detection switches the card to the incoming signal whatever
        // mode it is started in.
        if (device->StartCapture(static_cast<unsigned>(m_ui->cmb_SingleInput->currentIndex()), true)) {
            m_ui->btn_StartCapture->setText(QStringLiteral("Stop capture"));
            setInputSelectionEnabled(false);
        } else {
            onDisplayErrorMessage(QStringLiteral("Single input start capture error"),
                                  device->GetErrorMessage());
        }
        m_captureStarted = true;
        return;
    }

    DeckLinkDevice* const left = m_deckLinkLeftSelectedDevice;
    DeckLinkDevice* const right = m_deckLinkRightSelectedDevice;
    qDebug() << "m_deckLinkLeftSelectedDevice: " << left->GetDeviceName();
    qDebug() << "m_deckLinkRightSelectedDevice: " << right->GetDeviceName();
    if (left == right) {
        onDisplayErrorMessage(QStringLiteral("Start Capture Error"),
                              QStringLiteral("Select different input devices for left and right display"));
        return;
    }

    connect(left->notifier(), SIGNAL(newFrameArrived(VideoFrame)), m_leftPreprocessingThread,
            SLOT(onNewInputFrameArrived(VideoFrame)), captureConnection);
    connect(m_leftPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), this,
            SLOT(onNewLeftRawFrameArrived(VideoFrame)), captureConnection);
    m_leftPreprocessingThread->start();
    if (left->StartCapture(static_cast<unsigned>(m_ui->cmb_LeftCameraInput->currentIndex()), true)) {
        m_ui->btn_StartCapture->setText(QStringLiteral("Stop capture"));
        setInputSelectionEnabled(false);
    } else {
        onDisplayErrorMessage(QStringLiteral("Left camera start capture error"), left->GetErrorMessage());
    }

    connect(right->notifier(), SIGNAL(newFrameArrived(VideoFrame)), m_rightPreprocessingThread,
            SLOT(onNewInputFrameArrived(VideoFrame)), captureConnection);
    connect(m_rightPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), this,
            SLOT(onNewRightRawFrameArrived(VideoFrame)), captureConnection);
    m_rightPreprocessingThread->start();
    if (right->StartCapture(static_cast<unsigned>(m_ui->cmb_RightCameraInput->currentIndex()), true)) {
        m_ui->btn_StartCapture->setText(QStringLiteral("Stop capture"));
        setInputSelectionEnabled(false);
    } else {
        onDisplayErrorMessage(QStringLiteral("Right camera start capture error"), right->GetErrorMessage());
    }
    m_captureStarted = true;
}

void MainWindow::stopCapture()
{
    for (DeckLinkDevice* device :
         {m_deckLinkLeftSelectedDevice, m_deckLinkRightSelectedDevice, m_deckLinkSingleSelectedDevice})
        if (device)
            device->StopCapture();
    for (ImgPreprocessingThread* worker : {m_leftPreprocessingThread, m_rightPreprocessingThread}) {
        if (worker->isRunning()) {
            worker->stop();
            worker->wait();
        }
    }

    if (m_ui->rbn_SingleInput->isChecked()) {
        if (m_deckLinkSingleSelectedDevice) {
            disconnect(m_deckLinkSingleSelectedDevice->notifier(), SIGNAL(newFrameArrived(VideoFrame)),
                       m_leftPreprocessingThread, SLOT(onNewInputFrameArrived(VideoFrame)));
            disconnect(m_deckLinkSingleSelectedDevice->notifier(), SIGNAL(newFrameArrived(VideoFrame)),
                       m_rightPreprocessingThread, SLOT(onNewInputFrameArrived(VideoFrame)));
        }
        disconnect(m_leftPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), this,
                   SLOT(onNewLeftRawFrameArrived(VideoFrame)));
        disconnect(m_rightPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), this,
                   SLOT(onNewRightRawFrameArrived(VideoFrame)));
    } else if (m_ui->rbn_DoubleInput->isChecked()) {
        if (m_deckLinkLeftSelectedDevice) {
            disconnect(m_deckLinkLeftSelectedDevice->notifier(), SIGNAL(newFrameArrived(VideoFrame)),
                       m_leftPreprocessingThread, SLOT(onNewInputFrameArrived(VideoFrame)));
            disconnect(m_leftPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), this,
                       SLOT(onNewLeftRawFrameArrived(VideoFrame)));
        }
        if (m_deckLinkRightSelectedDevice) {
            disconnect(m_deckLinkRightSelectedDevice->notifier(), SIGNAL(newFrameArrived(VideoFrame)),
                       m_rightPreprocessingThread, SLOT(onNewInputFrameArrived(VideoFrame)));
            disconnect(m_rightPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), this,
                       SLOT(onNewRightRawFrameArrived(VideoFrame)));
        }
    }

    // Frames the preprocessing threads sent before they stopped are still
    // queued to the window; shown after the views are cleared, they would
    // leave a stopped capture's last pictures standing.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);

    m_ui->btn_StartCapture->setText(QStringLiteral("Start capture"));
    setInputSelectionEnabled(true);
    m_ui->lbl_ImageLiveLeft->setPixmap(QPixmap());
    m_ui->lbl_ImageLiveRight->setPixmap(QPixmap());
    m_captureStarted = false;
}
