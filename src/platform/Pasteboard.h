#pragma once
// Pasteboard: the system-wide clipboard as the core sees it, an ordered list of items, each a
// set of representations (a type and its bytes).
//
// Another application hands over a track as one or more items that carry the audio under the
// MP3 type, and optionally its peak data under the peak type; the paste reads the data of every
// item that has a type, in item order, as consecutive chunks of one file. The sample library
// and the recordings list copy and paste their files through the same interface.
//
// Two implementations: MemoryPasteboard (below), in-process, for tests and headless runs; and
// the system clipboard in the Qt shell (X11 and Wayland), which holds one item whose formats
// are the MIME types.
//
// Threads: main thread only (the system clipboard belongs to the GUI thread).

#include <cstdint>
#include <string>
#include <vector>

namespace vx {

// The type of an MP3 file's bytes.
inline constexpr const char* kPasteboardTypeMP3 = "audio/mpeg";
// The type of a peak file's bytes (the track's waveform overview and tempo).
inline constexpr const char* kPasteboardTypePeak = "application/x-velvox-peak";

class Pasteboard {
public:
    using Data = std::vector<uint8_t>;
    struct Representation {
        std::string type;
        Data data;
    };
    // One item: its representations, each type at most once.
    using Item = std::vector<Representation>;

    virtual ~Pasteboard() = default;

    // Main thread: indexes of the items that carry `type`, in order; empty when none does.
    virtual std::vector<size_t> itemsWithType(const std::string& type) = 0;
    // Main thread: the `type` data of each of `items` (indexes from itemsWithType), in that
    // order; an item that no longer has it gives no chunk.
    virtual std::vector<Data> dataForType(const std::string& type,
                                          const std::vector<size_t>& items) = 0;
    // Main thread: replaces the whole content.
    virtual void setItems(std::vector<Item> items) = 0;
    // Main thread: empties the pasteboard.
    virtual void clear() = 0;
    // Main thread: bumped by every change made through this object or by another program.
    virtual uint64_t changeCount() const = 0;
};

// The in-process pasteboard: exactly the items it was given.
class MemoryPasteboard final : public Pasteboard {
public:
    std::vector<size_t> itemsWithType(const std::string& type) override;
    std::vector<Data> dataForType(const std::string& type,
                                  const std::vector<size_t>& items) override;
    void setItems(std::vector<Item> items) override;
    void clear() override;
    uint64_t changeCount() const override { return changes_; }
    // Main thread: the items as they are now.
    const std::vector<Item>& items() const { return items_; }

private:
    std::vector<Item> items_;
    uint64_t changes_ = 0;
};

} // namespace vx
