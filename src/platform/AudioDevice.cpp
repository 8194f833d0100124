#include "platform/AudioDevice.h"

#include "platform/Log.h"

#include <cctype>

namespace vx {

namespace {
thread_local int renderCallbackDepth = 0;
} // namespace

bool inRenderCallback() {
    return renderCallbackDepth > 0;
}

RenderCallbackScope::RenderCallbackScope() {
    ++renderCallbackDepth;
}

RenderCallbackScope::~RenderCallbackScope() {
    --renderCallbackDepth;
}

std::string formatStatus(int status) {
    const auto code = static_cast<uint32_t>(status);
    char text[5] = {static_cast<char>((code >> 24) & 0xff), static_cast<char>((code >> 16) & 0xff),
                    static_cast<char>((code >> 8) & 0xff), static_cast<char>(code & 0xff), 0};
    bool printable = true;
    for (int i = 0; i < 4; ++i) {
        if (!std::isprint(static_cast<unsigned char>(text[i]))) {
            printable = false;
        }
    }
    return printable ? std::string(text) : std::to_string(status);
}

bool setUpOutputUnit(AudioDevice& device, RenderCallback callback, void* context,
                     StreamFormat& formatOut, std::string* error) {
    struct Step {
        const char* message;
        std::function<int()> run;
    };
    const Step steps[] = {
        {"couldn't open the remote I/O unit", [&] { return device.createUnit(); }},
        {"couldn't enable input on the remote I/O unit", [&] { return device.enableInput(); }},
        {"couldn't set remote i/o render callback",
         [&] { return device.setRenderCallback(callback, context); }},
        {"couldn't get the remote I/O unit's output client format",
         [&] { return device.getClientFormat(formatOut); }},
        {"couldn't set the remote I/O unit's input client format",
         [&] { return device.setClientFormat(formatOut); }},
        {"couldn't initialize the remote I/O unit", [&] { return device.initializeUnit(); }},
    };
    for (const Step& step : steps) {
        const int status = step.run();
        if (status != 0) {
            logLine("Error: %s (%s)\n", step.message, formatStatus(status).c_str());
            if (error) {
                *error = std::string(step.message) + ": " + device.statusText(status);
            }
            device.disposeUnit();
            return false;
        }
    }
    return true;
}

} // namespace vx
