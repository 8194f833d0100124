#pragma once
// A preview player that plays nothing and remembers what it was asked to play; its clock moves
// only when the test says so (advance), and reaching the end calls the end handler as the real
// one does on the main loop.

#include "engine/PreviewPlayer.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace vx::test {

class FakePreviewPlayer final : public PreviewPlayer {
public:
    // Seconds every opened file lasts.
    explicit FakePreviewPlayer(double length = 1.0) : length_(length) {}

    bool open(const std::filesystem::path& file) override {
        playing_ = false;
        position_ = 0;
        if (!std::filesystem::is_regular_file(file)) {
            current_.clear();
            return false;
        }
        current_ = file;
        return true;
    }
    bool play() override {
        if (current_.empty()) {
            return false;
        }
        played.push_back(current_.filename().string());
        playing_ = true;
        return true;
    }
    void pause() override { playing_ = false; }
    void stop() override {
        playing_ = false;
        position_ = 0;
    }
    void seek(double seconds) override { position_ = std::clamp(seconds, 0.0, duration()); }
    double currentTime() const override { return position_; }
    double duration() const override { return current_.empty() ? 0.0 : length_; }
    bool playing() const override { return playing_; }
    void setVolume(float volume) override { volume_ = volume; }
    float volume() const override { return volume_; }
    void setEndHandler(std::function<void()> handler) override { end_ = std::move(handler); }

    // Moves a playing file on by `seconds`; at its end it stops and tells the handler.
    void advance(double seconds) {
        if (!playing_) {
            return;
        }
        position_ = std::min(position_ + seconds, duration());
        if (position_ >= duration()) {
            playing_ = false;
            if (end_) {
                end_();
            }
        }
    }

    // File names of every play() that started, in order.
    std::vector<std::string> played;

private:
    double length_;
    std::filesystem::path current_;
    double position_ = 0;
    bool playing_ = false;
    float volume_ = 1.0f;
    std::function<void()> end_;
};

} // namespace vx::test
