// Capture control: the input lists that follow the cards, the selected
// devices, and starting and stopping capture.

#include "app/mainwindow.h"

#include "ui_mainwindow.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QSignalBlocker>

namespace {

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

    m_deviceDiscovery = ComPtr<DeckLinkDeviceDiscovery>::adopt(new DeckLinkDeviceDiscovery);
    makeRoute(discoveryRoute());
    if (!m_deviceDiscovery->Enable())
        qDebug()
            << "Please install the Blackmagic Desktop Video drivers to use the features of this application.";
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
    using Side = FramePipeline::Side;
    if (m_ui->rbn_SingleInput->isChecked()) {
        DeckLinkDevice* const device = m_deckLinkSingleSelectedDevice;
        qDebug() << "m_deckLinkSingleSelectedDevice: " << static_cast<void*>(device);
        qDebug() << "m_deckLinkSingleSelectedDevice - Name: " << device->GetDeviceName();
        // The one input feeds both cameras; the layout settings decide which
        // part of the picture each keeps.
        m_pipeline->feed(Side::Left, device->notifier());
        m_pipeline->feed(Side::Right, device->notifier());
        startDevice(device, m_ui->cmb_SingleInput, QStringLiteral("Single input start capture error"));
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
    m_pipeline->feed(Side::Left, left->notifier());
    startDevice(left, m_ui->cmb_LeftCameraInput, QStringLiteral("Left camera start capture error"));
    m_pipeline->feed(Side::Right, right->notifier());
    startDevice(right, m_ui->cmb_RightCameraInput, QStringLiteral("Right camera start capture error"));
}

void MainWindow::startDevice(DeckLinkDevice* device, const QComboBox* list, const QString& title)
{
    // Format detection switches the card to the incoming signal whatever
    // mode it is started in.
    if (device->StartCapture(static_cast<unsigned>(list->currentIndex()), true)) {
        m_ui->btn_StartCapture->setText(QStringLiteral("Stop capture"));
        setInputSelectionEnabled(false);
    } else {
        onDisplayErrorMessage(title, device->GetErrorMessage());
    }
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
}
