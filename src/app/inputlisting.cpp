#include "inputlisting.h"

#include <decklink/DeckLinkAPI.h>
#include <decklink/comptr.h>
#include <decklink/drivers.h>

#include "capture/comcallback.h"

#include <QStringList>

namespace {

// Takes the notifications while the listing runs; the cards are read from the driver.
class IgnoredNotifications : public ComCallback<IDeckLinkDeviceNotificationCallback>
{
public:
    HRESULT DeckLinkDeviceArrived(IDeckLink*) override { return S_OK; }
    HRESULT DeckLinkDeviceRemoved(IDeckLink*) override { return S_OK; }

protected:
    bool accepts(REFIID iid) const override { return iid == IID_IDeckLinkDeviceNotificationCallback; }
};

QString takeString(BSTR text)
{
    const QString result = text ? QString::fromUtf16(text) : QString();
    SysFreeString(text);
    return result;
}

QString fourCC(uint32_t code)
{
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((code >> shift) & 0xFF);
        text += c >= 0x20 && c < 0x7F ? QChar(c) : QChar('?');
    }
    return text;
}

QString describeCard(IDeckLink* card)
{
    BSTR name = nullptr;
    QString text = card->GetDisplayName(&name) == S_OK ? takeString(name) : QStringLiteral("(no name)");
    ComPtr<IDeckLinkInput> input;
    if (card->QueryInterface(IID_IDeckLinkInput, input.receiveAny()) != S_OK || !input)
        return text + QStringLiteral("\n    no video input\n");
    text += '\n';
    ComPtr<IDeckLinkDisplayModeIterator> iterator;
    int count = 0;
    if (input->GetDisplayModeIterator(iterator.receive()) == S_OK && iterator) {
        ComPtr<IDeckLinkDisplayMode> mode;
        while (iterator->Next(mode.receive()) == S_OK && mode) {
            BSTR modeName = nullptr;
            const QString label = mode->GetName(&modeName) == S_OK ? takeString(modeName) : QString();
            BMDTimeValue duration = 0;
            BMDTimeScale scale = 0;
            QString rate;
            if (mode->GetFrameRate(&duration, &scale) == S_OK && duration > 0)
                rate = QString::number(static_cast<double>(scale) / static_cast<double>(duration), 'f', 2) +
                       QStringLiteral(" frames/s");
            const QString size =
                QStringLiteral("%1 x %2 pixels").arg(mode->GetWidth()).arg(mode->GetHeight());
            text += QStringLiteral("    %1  %2  %3  code '%4'\n")
                        .arg(label, -14)
                        .arg(size, -18)
                        .arg(rate, -16)
                        .arg(fourCC(mode->GetDisplayMode()));
            ++count;
        }
    }
    if (count == 0)
        text += QStringLiteral("    no display modes\n");
    return text;
}

} // namespace

QString listInputs()
{
    QString text;
    ComPtr<IDeckLinkDiscovery> discovery;
    const auto notifications = ComPtr<IgnoredNotifications>::adopt(new IgnoredNotifications);
    const bool installed = DeckLinkCreateInstance(CLSID_CDeckLinkDiscovery, IID_IDeckLinkDiscovery,
                                                  discovery.receiveAny()) == S_OK &&
                           discovery && discovery->InstallDeviceNotifications(notifications.get()) == S_OK;
    if (!installed) {
        text += QStringLiteral("No capture driver is available: no inputs.\n");
    } else {
        const std::vector<IDeckLink*> cards = decklinkdrivers::presentCards();
        text += cards.empty() ? QStringLiteral("No inputs found.\n")
                              : QStringLiteral("Inputs (%1):\n").arg(cards.size());
        for (IDeckLink* found : cards) {
            const auto card = ComPtr<IDeckLink>::adopt(found);
            text += QStringLiteral("  ") + describeCard(card.get());
        }
    }
    if (discovery)
        discovery->UninstallDeviceNotifications();
    const std::vector<std::string> problems = decklinkdrivers::driverMessages();
    if (!problems.empty()) {
        text += QStringLiteral("Problems:\n");
        for (const std::string& problem : problems)
            text += QStringLiteral("  ") + QString::fromStdString(problem) + '\n';
    }
    return text;
}
