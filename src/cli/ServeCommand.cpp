// velvox-cli serve [--port N] [--bind ADDR] [--minutes M] [--max-upload MB] [--code]
//
// The Wi-Fi transfer without a display: the documents folder of the home is served to browsers
// on the local network exactly as the application serves it (the same transfer service, so an
// uploaded track is registered in the library as in the app). The alerts the application would
// show are printed; the address is in the "Server started" one. SIGINT, SIGTERM or the end of
// the given minutes stop it through the service's own stop path.

#include "app/WiFiTransfer.h"
#include "cli/CliCommand.h"
#include "library/DBController.h"
#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

#include <cmath>
#include <cstdio>
#include <iostream>

namespace vx::cli {

namespace {

// Prints each alert as "<title>: <message>" on stdout, at once.
class PrintedAlerts final : public Alerts {
public:
    void showAlert(const std::string& title, const std::string& message,
                   const std::string&) override {
        std::printf("%s: %s\n", title.c_str(), message.c_str());
        std::fflush(stdout);
        last = title;
    }
    std::string last;
};

std::optional<double> parseNumber(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    try {
        size_t used = 0;
        const double value = std::stod(*text, &used);
        if (used == text->size() && std::isfinite(value) && value >= 0) {
            return value;
        }
    } catch (...) {
    }
    return std::nullopt;
}

} // namespace

int runServe(CommandContext& context) {
    auto& args = context.args;
    bool bad = false;
    const auto portText = takeValue(args, "--port", bad);
    const auto bindText = takeValue(args, "--bind", bad);
    const auto minutesText = takeValue(args, "--minutes", bad);
    const auto maxText = takeValue(args, "--max-upload", bad);
    const bool code = takeFlag(args, "--code");
    const auto port = portText ? parseNumber(portText) : std::optional<double>(WiFiTransfer::kPort);
    const auto minutes = minutesText ? parseNumber(minutesText) : std::optional<double>(0);
    const auto maxUpload = maxText ? parseNumber(maxText) : std::optional<double>(4096);
    if (bad || !args.empty() || !port || *port > 65535 || *port != std::floor(*port) || !minutes ||
        !maxUpload) {
        return usageError("usage: velvox-cli serve [--port N] [--bind ADDR] [--minutes M] "
                          "[--max-upload MB] [--code]");
    }
    std::string error;
    if (!context.paths.ensureWritableFolders(&error)) {
        return failure(error);
    }
    SystemClock clock;
    RunLoop loop(clock);
    NotificationCenter notifications(loop);
    UserDefaults defaults(context.paths.settingsFile());
    auto db = DBController::init(context.paths, &error);
    if (!db) {
        return failure("the library cannot be opened: " + error);
    }
    PrintedAlerts alerts;
    int signal = 0;
    {
        WiFiTransfer transfer(context.paths, loop, notifications, db, &alerts);
        WiFiTransferOptions options;
        options.port = int(*port);
        options.bindAddress = bindText.value_or("0.0.0.0");
        options.maxUploadBytes = uint64_t(*maxUpload * 1024 * 1024);
        options.accessCode = code || defaults.boolForKey(WiFiTransfer::kAccessCodeKey, false);
        transfer.setOptions(options);
        transfer.startServerAction(nullptr);
        if (!transfer.isListening()) {
            return 1;
        }
        const double end = *minutes > 0 ? clock.now() + *minutes * 60.0 : 0.0;
        TimerHandle watch = loop.every(0.05, [&] {
            signal = stopSignal();
            if (signal != 0 || (end > 0 && clock.now() >= end)) {
                loop.quit();
            }
        });
        loop.run();
        watch.invalidate();
        // The alert's button: the same path as the application's "Stop".
        transfer.alertButtonPressed();
        std::printf("Server stopped\n");
        std::fflush(stdout);
    }
    loop.shutdown();
    return signal != 0 ? 128 + signal : 0;
}

} // namespace vx::cli
