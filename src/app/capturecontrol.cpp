#include "app/capturecontrol.h"
#include "pipeline/logcategories.h"

#include "capture/decklinkcodenames.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace {

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

CaptureControl::CaptureControl(Ui::MainWindow& form, FramePipeline& pipeline, QObject* parent)
    : QObject(parent), m_ui(form), m_pipeline(pipeline)
{
    setObjectName(QStringLiteral("captureControl"));
    m_ui.btn_StartCapture->setEnabled(false);
    setInputSelectionEnabled(false);
    connect(m_ui.rbn_SingleInput, &QAbstractButton::toggled, m_ui.frm_SingleInputCtrl, &QWidget::setEnabled);
    connect(m_ui.rbn_DoubleInput, &QAbstractButton::toggled, m_ui.frm_DoubleInputCtrl, &QWidget::setEnabled);
    for (QAbstractButton* mode : {m_ui.rbn_SingleInput, m_ui.rbn_DoubleInput})
        connect(mode, &QAbstractButton::clicked, this, [this] { m_inputModeChosen = true; });
    for (QComboBox* list : {m_ui.cmb_LeftCameraInput, m_ui.cmb_RightCameraInput, m_ui.cmb_SingleInput}) {
        list->setModel(&m_cards);
        connect(list, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this, list] { onNewDeviceSelected(list); });
    }
    connect(m_ui.btn_StartCapture, &QPushButton::clicked, this, &CaptureControl::onStartClicked);
}

CaptureControl::~CaptureControl()
{
    for (QComboBox* list : {m_ui.cmb_LeftCameraInput, m_ui.cmb_RightCameraInput, m_ui.cmb_SingleInput})
        disconnect(list, nullptr, this, nullptr);
}

bool CaptureControl::startDiscovery()
{
    m_deviceDiscovery = ComPtr<DeckLinkDeviceDiscovery>::adopt(new DeckLinkDeviceDiscovery);
    makeRoute(discoveryRoute());
    return m_deviceDiscovery->Enable();
}

SignalRoute CaptureControl::discoveryRoute() const
{
    const QObject* notifier = m_deviceDiscovery->notifier();
    return {{notifier, SIGNAL(deckLinkDeviceArrived(IDeckLink*)), this,
             SLOT(onDeckLinkDeviceArrived(IDeckLink*))},
            {notifier, SIGNAL(deckLinkDeviceRemoved(IDeckLink*)), this,
             SLOT(onDeckLinkDeviceRemoved(IDeckLink*))}};
}

void CaptureControl::tearDown()
{
    // No card may call back into a worker or the window once they start to go.
    for (int row = 0; row < m_cards.rowCount(); ++row)
        if (m_cards.device(row)->IsCapturing())
            m_cards.device(row)->StopCapture();
    if (m_deviceDiscovery) {
        cutRoute(discoveryRoute());
        m_deviceDiscovery->Disable();
        m_deviceDiscovery.reset();
    }
}

void CaptureControl::releaseDevices()
{
    const QSignalBlocker blockLeft(m_ui.cmb_LeftCameraInput);
    const QSignalBlocker blockRight(m_ui.cmb_RightCameraInput);
    const QSignalBlocker blockSingle(m_ui.cmb_SingleInput);
    m_cards.clear();
}

DeckLinkDevice* CaptureControl::selected(const QComboBox* list) const
{
    return m_cards.device(list->currentIndex());
}

QComboBox* CaptureControl::displayModeList(const QComboBox* inputList) const
{
    if (inputList == m_ui.cmb_LeftCameraInput)
        return m_ui.cmb_LeftDisplayMode;
    if (inputList == m_ui.cmb_RightCameraInput)
        return m_ui.cmb_RightDisplayMode;
    return m_ui.cmb_SingleDisplayMode;
}

void CaptureControl::setInputSelectionEnabled(bool enabled)
{
    if (m_ui.rbn_SingleInput->isChecked())
        m_ui.frm_SingleInputCtrl->setEnabled(enabled);
    if (m_ui.rbn_DoubleInput->isChecked())
        m_ui.frm_DoubleInputCtrl->setEnabled(enabled);
    m_ui.grp_InputModeSelector->setEnabled(enabled);
}

void CaptureControl::onNewDeviceSelected(QComboBox* list)
{
    const DeckLinkDevice* device = selected(list);
    fillDisplayModes(displayModeList(list), device);
    if (!device)
        return;
    qCDebug(lcWindow) << "onNewDeviceSelected() - deckLinkSelectedDevice: " << device->GetDeviceName();
    setInputSelectionEnabled(true);
}

void CaptureControl::onDeckLinkDeviceArrived(IDeckLink* deckLink)
{
    auto device = ComPtr<DeckLinkDevice>::adopt(new DeckLinkDevice(deckLink));
    if (!device->Init()) {
        emit errorOccurred(QStringLiteral("DeckLink Device Error"), device->GetErrorMessage());
        return;
    }
    // The connection ends with the device's notifier; a stop report that
    // arrives after its card is gone finds no card and is ignored.
    const QObject* notifier = device->notifier();
    connect(device->notifier(), &DeckLinkDeviceQtNotifier::captureStopped, this,
            [this, notifier](const QString& reason) { onCaptureStopped(notifier, reason); });

    const bool first = m_cards.rowCount() == 0;
    m_cards.append(std::move(device));
    if (first) {
        for (QComboBox* list : {m_ui.cmb_LeftCameraInput, m_ui.cmb_RightCameraInput, m_ui.cmb_SingleInput}) {
            list->setCurrentIndex(0);
            onNewDeviceSelected(list);
        }
        m_ui.btn_StartCapture->setEnabled(true);
    }
    // Two cards make a rig: the right camera takes the newcomer rather than
    // the card the left camera already uses, so that a start goes through;
    // and double input is chosen, unless the user chose an input mode.
    QComboBox* const right = m_ui.cmb_RightCameraInput;
    if (right->count() > 1 && right->currentIndex() == m_ui.cmb_LeftCameraInput->currentIndex() &&
        !m_cards.anyCapturing()) {
        right->setCurrentIndex(right->count() - 1);
        if (m_cards.rowCount() == 2 && !m_inputModeChosen)
            m_ui.rbn_DoubleInput->setChecked(true);
    }
}

void CaptureControl::onDeckLinkDeviceRemoved(IDeckLink* deckLink)
{
    int row = m_cards.rowOf(deckLink);
    if (row < 0)
        return;
    // A capture that loses a card ends as a click on "Stop capture" ends it:
    // the other card stops too and no connection is left from either card to
    // the preprocessing threads, which a later start with other cards would
    // otherwise still feed. The stop delivers queued calls, so the card is
    // looked up again.
    if (m_cards.device(row)->IsCapturing()) {
        stopCapture();
        row = m_cards.rowOf(deckLink);
        if (row < 0)
            return;
    }

    QComboBox* const lists[] = {m_ui.cmb_LeftCameraInput, m_ui.cmb_RightCameraInput, m_ui.cmb_SingleInput};
    bool showedRemoved[3];
    // Held until the lists have settled: the device is let go last.
    ComPtr<DeckLinkDevice> removed;
    {
        // The selections are settled below, once the row is gone; the lists
        // must not re-select on their own meanwhile.
        const QSignalBlocker blockLeft(lists[0]), blockRight(lists[1]), blockSingle(lists[2]);
        for (int i = 0; i < 3; ++i)
            showedRemoved[i] = lists[i]->currentIndex() == row;
        removed = m_cards.take(row);
    }

    if (m_cards.rowCount() > 0) {
        // Every list that showed the removed card moves to its first entry.
        for (int i = 0; i < 3; ++i) {
            if (!showedRemoved[i])
                continue;
            const QSignalBlocker blocker(lists[i]);
            lists[i]->setCurrentIndex(0);
            onNewDeviceSelected(lists[i]);
        }
        // A selection step enables the input controls; while the other cards
        // go on capturing they must stay locked.
        if (m_cards.anyCapturing())
            setInputSelectionEnabled(false);
        m_ui.btn_StartCapture->setEnabled(true);
    } else {
        m_ui.btn_StartCapture->setText(QStringLiteral("Start capture"));
        m_ui.btn_StartCapture->setEnabled(false);
        setInputSelectionEnabled(false);
        for (QComboBox* list : lists)
            fillDisplayModes(displayModeList(list), nullptr);
    }
}

void CaptureControl::onStartClicked()
{
    if (m_ui.rbn_SingleInput->isChecked()) {
        const DeckLinkDevice* single = selected(m_ui.cmb_SingleInput);
        if (!single)
            return;
        if (single->IsCapturing())
            stopCapture();
        else
            startCapture();
    } else if (m_ui.rbn_DoubleInput->isChecked()) {
        const DeckLinkDevice* left = selected(m_ui.cmb_LeftCameraInput);
        const DeckLinkDevice* right = selected(m_ui.cmb_RightCameraInput);
        if (!left || !right)
            return;
        if (left->IsCapturing() || right->IsCapturing())
            stopCapture();
        else
            startCapture();
    }
}

void CaptureControl::startCapture()
{
    using Side = FramePipeline::Side;
    if (m_ui.rbn_SingleInput->isChecked()) {
        DeckLinkDevice* const device = selected(m_ui.cmb_SingleInput);
        qCDebug(lcWindow) << "single input start:" << device->GetDeviceName();
        // The one input feeds both cameras; the layout settings decide which
        // part of the picture each keeps.
        m_pipeline.feed(Side::Left, device->notifier());
        m_pipeline.feed(Side::Right, device->notifier());
        startDevice(device, m_ui.cmb_SingleDisplayMode, QStringLiteral("Single input start capture error"),
                    {true, true});
        return;
    }

    DeckLinkDevice* const left = selected(m_ui.cmb_LeftCameraInput);
    DeckLinkDevice* const right = selected(m_ui.cmb_RightCameraInput);
    qCDebug(lcWindow) << "double input start:" << left->GetDeviceName() << right->GetDeviceName();
    if (left == right) {
        emit errorOccurred(QStringLiteral("Start Capture Error"),
                           QStringLiteral("Select different input devices for left and right display"));
        return;
    }
    // A failed start shows an error box and delivers queued calls; in either,
    // the right card may go away and the model let go of its device. Held
    // here, it stays valid until the start is over.
    const auto holdRight = ComPtr<DeckLinkDevice>::share(right);
    m_pipeline.feed(Side::Left, left->notifier());
    if (!startDevice(left, m_ui.cmb_LeftDisplayMode, QStringLiteral("Left camera start capture error"),
                     {true, false}))
        return;
    m_pipeline.feed(Side::Right, right->notifier());
    startDevice(right, m_ui.cmb_RightDisplayMode, QStringLiteral("Right camera start capture error"),
                {false, true});
}

bool CaptureControl::startDevice(DeckLinkDevice* device, const QComboBox* modes, const QString& title,
                                 std::pair<bool, bool> sides)
{
    if (startInChosenMode(device, modes)) {
        m_ui.btn_StartCapture->setText(QStringLiteral("Stop capture"));
        setInputSelectionEnabled(false);
        emit deviceStarted(device, sides.first, sides.second);
        return true;
    }
    // Half a rig is no rig: a card that started is stopped again, and the
    // side that failed keeps no rows of an earlier capture.
    // The device's error leads with the driver's own cause (a real input
    // names the media engine's error and the package to install).
    const QString message = device->GetDeviceName() + QStringLiteral(": ") + device->GetErrorMessage();
    stopCapture();
    emit startFailed(sides.first, sides.second);
    emit errorOccurred(title, message);
    return false;
}

void CaptureControl::onCaptureStopped(const QObject* notifier, const QString& reason)
{
    for (int row = 0; row < m_cards.rowCount(); ++row) {
        DeckLinkDevice* device = m_cards.device(row);
        // A stop of the user's may have come first.
        if (device->notifier() != notifier || !device->IsCapturing())
            continue;
        stopCapture();
        emit errorOccurred(QStringLiteral("Capture stopped"), reason);
        return;
    }
}

void CaptureControl::stopCapture()
{
    emit stopping();
    for (const QComboBox* list : {m_ui.cmb_LeftCameraInput, m_ui.cmb_RightCameraInput, m_ui.cmb_SingleInput})
        if (DeckLinkDevice* device = selected(list))
            device->StopCapture();
    // No card link is left to the preprocessing threads, which a later start
    // with other cards would otherwise still feed.
    m_pipeline.stopFeeding();
    m_ui.btn_StartCapture->setText(QStringLiteral("Start capture"));
    setInputSelectionEnabled(true);
    emit stopped();
}
