// The announcement is best effort: with an Avahi daemon the service is announced under the
// host's ".local" name; without one a log line says it is not, and nothing else fails.

#include "platform/ServiceDiscovery.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(ServiceDiscoveryTest, AnnouncesOrSaysWhyNot) {
    LogCapture log;
    ServiceDiscovery discovery;
    const bool announced = discovery.publish("VelvoxNexa test", "_http._tcp.", "local.", 18080);
    EXPECT_EQ(announced, discovery.published());
    if (announced) {
        const std::string host = discovery.hostName();
        EXPECT_GT(host.size(), 6u);
        EXPECT_EQ(host.substr(host.size() - 6), ".local");
    } else {
        EXPECT_TRUE(log.contains("VelvoxNexa test is not announced")) << log.lines().size();
        EXPECT_EQ(discovery.hostName(), "");
    }
    discovery.withdraw();
    EXPECT_FALSE(discovery.published());
    EXPECT_EQ(discovery.hostName(), "");
}

} // namespace
} // namespace vx
