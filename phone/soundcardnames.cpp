#include "phone/soundcardnames.h"

#include "phone/libraryhooks.h"

#include <linphone/core.h>
#include <mediastreamer2/msfactory.h>
#include <mediastreamer2/mssndcard.h>

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

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
constexpr size_t SLOT_COUNT = 16; // Debian's streaming engine has two sound drivers
MSSndCardDetectFunc slot_detect[SLOT_COUNT] = {};
template <size_t N> void detect_slot(MSSndCardManager* manager)
{
    detect_then_rename(manager, slot_detect[N]);
}
template <size_t... N>
constexpr std::array<MSSndCardDetectFunc, SLOT_COUNT> make_slots(std::index_sequence<N...>)
{
    return {detect_slot<N>...};
}
const std::array<MSSndCardDetectFunc, SLOT_COUNT> slots = make_slots(std::make_index_sequence<SLOT_COUNT>());

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
        if (!library_hooks::in_effect(library_hooks::CardNames))
            return;
        // Each driver's descriptor is copied whole into its wrapper: it must be the structure this
        // program knows, and there must be a slot for each, or none is wrapped.
        size_t new_drivers = 0;
        QString reason;
        for (bctbx_list_t* item = manager->descs; item && reason.isEmpty(); item = bctbx_list_next(item)) {
            auto* desc = static_cast<MSSndCardDesc*>(bctbx_list_get_data(item));
            if (is_wrapper(desc) || all_wrapped().count(desc))
                continue;
            ++new_drivers;
            reason = library_hooks::check_exported_object(desc, sizeof(MSSndCardDesc), false);
        }
        if (reason.isEmpty() && all_wrapped().size() + new_drivers > SLOT_COUNT)
            reason = QStringLiteral("more sound drivers than the %1 it has room for").arg(SLOT_COUNT);
        if (!reason.isEmpty()) {
            library_hooks::stand_aside(library_hooks::CardNames, reason);
            return;
        }
        for (bctbx_list_t* item = manager->descs; item; item = bctbx_list_next(item)) {
            auto* desc = static_cast<MSSndCardDesc*>(bctbx_list_get_data(item));
            if (!is_wrapper(desc))
                item->data = wrapper_for(desc);
        }
        rename_repeats(manager);
    }
    // The library's own list of devices is built from the cards; build it again with the names.
    linphone_core_reload_sound_devices(core);
}

} // namespace sound_card_names
