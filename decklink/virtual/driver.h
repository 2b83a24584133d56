#pragma once

// The driver as a whole: its cards, those present and the installed device
// notifications. One per process, never destroyed, as a driver outlives its
// clients; not installed until the program's entry point applies a
// configuration.

#include "card.h"
#include "common.h"
#include "common/carddiscovery.h"

#include <decklink/virtualcards.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace virtualcards {

class Driver : public CardSource
{
public:
    static Driver& instance();

    HRESULT createInstance(const char* classId, REFIID iid, void** out);
    // Installs a queue: it gets an arrival for every card present and all later
    // plugs and pulls. False when the driver is not installed.
    bool attach(const std::shared_ptr<NotificationQueue>& queue) override;
    void detach(const std::shared_ptr<NotificationQueue>& queue) override;

    // Replaces everything by the virtual cards of `configuration`: the present cards are pulled, the
    // new ones plugged. `problems` are what kept the intended configuration from being read.
    void apply(const Configuration& configuration, const std::string& problems);
    bool isInstalled();
    std::vector<std::string> presentCards();
    std::vector<IDeckLink*> presentCardObjects();
    bool plug(const std::string& name);
    bool pull(const std::string& name);
    bool setSignal(const std::string& name, BMDDisplayMode mode);
    // What went wrong in the last set-up, one problem per line; empty when nothing did.
    std::string problems();

private:
    Driver() = default;

    struct Slot
    {
        std::shared_ptr<const CardSettings> settings;
        VirtualCard* card = nullptr; // the driver's reference while present
    };

    void plugLocked(Slot& slot);
    // The card leaves; the caller releases the returned reference when it holds no lock.
    VirtualCard* pullLocked(Slot& slot);
    Slot* findLocked(const std::string& name);

    std::mutex m_configuring; // one configuration change at a time
    std::mutex m_mutex;       // the state below
    bool m_installed = false;
    std::string m_problems;
    std::vector<Slot> m_slots;
    std::map<std::string, std::shared_ptr<const FrameClock>> m_genlockClocks;
    std::shared_ptr<const RigScene> m_rig;
    std::vector<std::shared_ptr<NotificationQueue>> m_queues;
};

} // namespace virtualcards
