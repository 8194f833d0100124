#pragma once
// ClipboardPasteboard: the core's Pasteboard on the desktop's clipboard (QClipboard: the X11
// CLIPBOARD selection, or Wayland's data device).
//
// The desktop clipboard holds one offer in several formats, so it reads as at most one item
// whose types are the offered MIME types ("audio/mpeg" for the MP3 data, the peak type for the
// peak data). Setting several items merges them into that one offer; items that share a type
// have their data joined in item order, which is how the paste reads chunks anyway. Reading a
// format another program offers transfers it then and there (Qt waits for the owner).
//
// Threads: GUI thread only.

#include "platform/Pasteboard.h"

#include <QObject>

namespace vx::ui {

class ClipboardPasteboard final : public QObject, public Pasteboard {
    Q_OBJECT
public:
    // GUI thread, after the QGuiApplication exists.
    explicit ClipboardPasteboard(QObject* parent = nullptr);

    std::vector<size_t> itemsWithType(const std::string& type) override;
    std::vector<Data> dataForType(const std::string& type,
                                  const std::vector<size_t>& items) override;
    void setItems(std::vector<Item> items) override;
    void clear() override;
    uint64_t changeCount() const override { return changes_; }

private:
    uint64_t changes_ = 0;
};

} // namespace vx::ui
