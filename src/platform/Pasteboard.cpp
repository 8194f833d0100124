#include "platform/Pasteboard.h"

namespace vx {

std::vector<size_t> MemoryPasteboard::itemsWithType(const std::string& type) {
    std::vector<size_t> found;
    for (size_t i = 0; i < items_.size(); ++i) {
        for (const Representation& r : items_[i]) {
            if (r.type == type) {
                found.push_back(i);
                break;
            }
        }
    }
    return found;
}

std::vector<Pasteboard::Data> MemoryPasteboard::dataForType(const std::string& type,
                                                            const std::vector<size_t>& items) {
    std::vector<Data> chunks;
    for (const size_t i : items) {
        if (i >= items_.size()) {
            continue;
        }
        for (const Representation& r : items_[i]) {
            if (r.type == type) {
                chunks.push_back(r.data);
                break;
            }
        }
    }
    return chunks;
}

void MemoryPasteboard::setItems(std::vector<Item> items) {
    items_ = std::move(items);
    ++changes_;
}

void MemoryPasteboard::clear() {
    items_.clear();
    ++changes_;
}

} // namespace vx
