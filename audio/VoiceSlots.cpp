#include "audio/VoiceSlots.h"

#include <thread>

namespace tarvel::audio {

bool VoiceSlots::publish(Voice* voice) {
    if (published(voice)) {
        return true;
    }
    for (auto& s : slots_) {
        if (s.load(std::memory_order_relaxed) == nullptr) {
            s.store(voice, std::memory_order_release);
            return true;
        }
    }
    return false;
}

void VoiceSlots::retire(Voice* voice) {
    bool found = false;
    for (auto& s : slots_) {
        if (s.load(std::memory_order_relaxed) == voice) {
            s.store(nullptr, std::memory_order_seq_cst);
            found = true;
        }
    }
    if (!found) {
        return;
    }
    // A run that began before the slot was cleared may still hold the pointer: wait for it.
    const std::uint64_t seen = runs_.load(std::memory_order_seq_cst);
    if (seen % 2 == 1) {
        while (runs_.load(std::memory_order_acquire) == seen) {
            std::this_thread::yield();
        }
    }
}

bool VoiceSlots::published(const Voice* voice) const {
    for (const auto& s : slots_) {
        if (s.load(std::memory_order_relaxed) == voice) {
            return true;
        }
    }
    return false;
}

}  // namespace tarvel::audio
