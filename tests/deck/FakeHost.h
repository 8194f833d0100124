#pragma once
// The application around the mixing screen, as the deck tests see it: it records which browser
// and menu requests reached it, and answers the device kind and party mode as set.

#include "deck/SampleTestController.h"

#include <string>
#include <vector>

namespace vx::test {

struct FakeHost final : MixingScreenHost {
    void showLoadFile(int deck) override { browserFor.push_back(deck); }
    void showMainMenu() override { ++menus; }
    bool isTablet() const override { return tablet; }
    // Party mode is `party`, or the screen's own once `screen` is set.
    bool partyMode() const override { return party || (screen && screen->partyModeOn()); }
    void showMessage(const std::string& message) override { messages.push_back(message); }

    std::vector<int> browserFor;
    std::vector<std::string> messages;
    int menus = 0;
    bool tablet = false;
    bool party = false;
    SampleTestController* screen = nullptr;
};

} // namespace vx::test
