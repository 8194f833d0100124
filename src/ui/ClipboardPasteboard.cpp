#include "ui/ClipboardPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <map>

namespace vx::ui {

namespace {

QClipboard* clipboard() {
    return QGuiApplication::clipboard();
}

const QMimeData* offer() {
    QClipboard* board = clipboard();
    return board ? board->mimeData(QClipboard::Clipboard) : nullptr;
}

} // namespace

ClipboardPasteboard::ClipboardPasteboard(QObject* parent) : QObject(parent) {
    if (QClipboard* board = clipboard()) {
        connect(board, &QClipboard::dataChanged, this, [this] { ++changes_; });
    }
}

std::vector<size_t> ClipboardPasteboard::itemsWithType(const std::string& type) {
    const QMimeData* data = offer();
    if (data && data->hasFormat(QString::fromStdString(type))) {
        return {0};
    }
    return {};
}

std::vector<Pasteboard::Data> ClipboardPasteboard::dataForType(const std::string& type,
                                                               const std::vector<size_t>& items) {
    std::vector<Data> chunks;
    const QMimeData* data = offer();
    const QString format = QString::fromStdString(type);
    for (const size_t item : items) {
        if (item != 0 || !data || !data->hasFormat(format)) {
            continue;
        }
        const QByteArray bytes = data->data(format);
        chunks.emplace_back(bytes.begin(), bytes.end());
    }
    return chunks;
}

void ClipboardPasteboard::setItems(std::vector<Item> items) {
    QClipboard* board = clipboard();
    if (!board) {
        return;
    }
    std::map<QString, QByteArray> joined;
    std::vector<QString> order;
    for (const Item& item : items) {
        for (const Representation& r : item) {
            const QString format = QString::fromStdString(r.type);
            if (!joined.count(format)) {
                order.push_back(format);
            }
            joined[format].append(reinterpret_cast<const char*>(r.data.data()),
                                  qsizetype(r.data.size()));
        }
    }
    auto* data = new QMimeData; // the clipboard takes it
    for (const QString& format : order) {
        data->setData(format, joined[format]);
    }
    board->setMimeData(data, QClipboard::Clipboard);
    ++changes_;
}

void ClipboardPasteboard::clear() {
    if (QClipboard* board = clipboard()) {
        board->clear(QClipboard::Clipboard);
    }
    ++changes_;
}

} // namespace vx::ui
