// Maps 32-bit handles to shared objects. A handle is a slot index (low 16 bits) plus the slot's
// generation (high 16 bits, never 0), so 0 is never a handle and a handle whose object was
// released no longer resolves, even after its slot has been reused. Freed slots are reused in
// first-in first-out order, which keeps a stale handle from aliasing a new object for as long as
// possible.
//
// Thread-safe: every member takes the table's own mutex for a short, bounded time.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace tarvel::audio {

template <typename T>
class HandleTable {
  public:
    static constexpr std::uint32_t kIndexBits = 16;
    static constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;
    static constexpr std::uint32_t kMaxSlots = 1u << kIndexBits;
    static constexpr std::uint32_t kGenerationMask = 0xFFFFu;

    // Returns the new handle, or 0 when every slot is taken.
    std::uint32_t add(std::shared_ptr<T> item) {
        std::lock_guard lock(mutex_);
        std::uint32_t index;
        if (!free_.empty()) {
            index = free_.front();
            free_.pop_front();
        } else if (slots_.size() < kMaxSlots) {
            index = static_cast<std::uint32_t>(slots_.size());
            slots_.push_back(Slot{});
        } else {
            return 0;
        }
        Slot& slot = slots_[index];
        slot.item = std::move(item);
        return (slot.generation << kIndexBits) | index;
    }

    // The object named by `handle`, or null for 0, stale or malformed handles.
    std::shared_ptr<T> find(std::uint32_t handle) const {
        std::lock_guard lock(mutex_);
        const Slot* slot = slotOf(handle);
        return slot ? slot->item : nullptr;
    }

    // Takes the object out of the table; the handle is dead from then on. Null if not found.
    std::shared_ptr<T> remove(std::uint32_t handle) {
        std::lock_guard lock(mutex_);
        Slot* slot = const_cast<Slot*>(slotOf(handle));
        if (!slot) {
            return nullptr;
        }
        std::shared_ptr<T> item = std::move(slot->item);
        slot->item.reset();
        slot->generation =
            (slot->generation & kGenerationMask) == kGenerationMask ? 1 : slot->generation + 1;
        free_.push_back(handle & kIndexMask);
        return item;
    }

    // Every live handle (for shutdown).
    std::vector<std::uint32_t> handles() const {
        std::lock_guard lock(mutex_);
        std::vector<std::uint32_t> out;
        for (std::uint32_t i = 0; i < slots_.size(); ++i) {
            if (slots_[i].item) {
                out.push_back((slots_[i].generation << kIndexBits) | i);
            }
        }
        return out;
    }

  private:
    struct Slot {
        std::uint32_t generation = 1;
        std::shared_ptr<T> item;
    };

    const Slot* slotOf(std::uint32_t handle) const {
        const std::uint32_t index = handle & kIndexMask;
        const std::uint32_t generation = handle >> kIndexBits;
        if (generation == 0 || index >= slots_.size()) {
            return nullptr;
        }
        const Slot& slot = slots_[index];
        return slot.item && slot.generation == generation ? &slot : nullptr;
    }

    mutable std::mutex mutex_;
    std::vector<Slot> slots_;
    std::deque<std::uint32_t> free_;
};

}  // namespace tarvel::audio
