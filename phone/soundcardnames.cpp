#include "phone/soundcardnames.h"

#include <linphone/core.h>
#include <mediastreamer2/msfactory.h>
#include <mediastreamer2/mssndcard.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

// Each driver's description, copied with its detection replaced by one that names repeated devices
// apart. The copies live as long as the process: the streaming engine keeps pointers to them.
std::mutex wrapped_mutex;
std::map<const MSSndCardDesc*, std::unique_ptr<MSSndCardDesc>>& all_wrapped()
{
    static std::map<const MSSndCardDesc*, std::unique_ptr<MSSndCardDesc>> wrapped;
    return wrapped;
}

void rename_repeats(MSSndCardManager* manager)
{
    std::map<std::string, int> seen;
    for (bctbx_list_t* item = manager->cards; item; item = bctbx_list_next(item)) {
        auto* card = static_cast<MSSndCard*>(bctbx_list_get_data(item));
        const std::string id = ms_snd_card_get_string_id(card);
        const int count = ++seen[id];
        if (count == 1)
            continue;
        char* numbered = ms_strdup_printf("%s #%d", id.c_str(), count);
        ms_free(card->id);
        card->id = numbered;
        ++seen[numbered]; // a device already named this way by the sound server comes after
    }
}

// The library's reload keeps an old card in place of every new one with the same name; with the
// names made apart inside detection, it keeps each device as itself.
void detect_then_rename(MSSndCardManager* manager, MSSndCardDetectFunc detect)
{
    if (detect)
        detect(manager);
    rename_repeats(manager);
}

// One detection function per wrapped driver: the streaming engine calls it with the manager only.
template <int N> void detect_slot(MSSndCardManager* manager);
MSSndCardDetectFunc slot_detect[4] = {};
template <int N> void detect_slot(MSSndCardManager* manager)
{
    detect_then_rename(manager, slot_detect[N]);
}
const MSSndCardDetectFunc slots[4] = {detect_slot<0>, detect_slot<1>, detect_slot<2>, detect_slot<3>};

bool is_wrapper(const MSSndCardDesc* desc)
{
    for (const auto& entry : all_wrapped()) {
        if (entry.second.get() == desc)
            return true;
    }
    return false;
}

MSSndCardDesc* wrapper_for(MSSndCardDesc* original)
{
    auto& wrapped = all_wrapped();
    auto found = wrapped.find(original);
    if (found != wrapped.end())
        return found->second.get();
    const size_t slot = wrapped.size();
    if (slot >= sizeof(slots) / sizeof(slots[0]))
        return nullptr; // more drivers than slots: the rest keep their names as they are
    auto made = std::make_unique<MSSndCardDesc>(*original);
    slot_detect[slot] = original->detect;
    made->detect = slots[slot];
    MSSndCardDesc* desc = made.get();
    wrapped.emplace(original, std::move(made));
    return desc;
}

} // namespace

namespace sound_card_names {

void tell_apart(LinphoneCore* core)
{
    if (!core)
        return;
    MSSndCardManager* manager = ms_factory_get_snd_card_manager(linphone_core_get_ms_factory(core));
    if (!manager)
        return;
    {
        const std::lock_guard<std::mutex> lock(wrapped_mutex);
        for (bctbx_list_t* item = manager->descs; item; item = bctbx_list_next(item)) {
            auto* desc = static_cast<MSSndCardDesc*>(bctbx_list_get_data(item));
            if (is_wrapper(desc))
                continue;
            if (MSSndCardDesc* wrapper = wrapper_for(desc))
                item->data = wrapper;
        }
        rename_repeats(manager);
    }
    // The library's own list of devices is built from the cards; build it again with the names.
    linphone_core_reload_sound_devices(core);
}

} // namespace sound_card_names
