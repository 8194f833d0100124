#include "platform/ServiceDiscovery.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

#include "platform/Log.h"

namespace vx {

namespace {

// Avahi spells types and domains without the final dot that DNS-SD names carry.
std::string withoutFinalDot(std::string text) {
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
}

} // namespace

struct ServiceDiscovery::State {
    AvahiThreadedPoll* poll = nullptr;
    AvahiClient* client = nullptr;
    AvahiEntryGroup* group = nullptr;
    std::string name;
    std::string type;
    std::string domain;
    int port = 0;
    bool established = false;

    // Poll thread (or the owner under the poll's lock): (re)adds the service to the group.
    bool addService() {
        if (!group) {
            group = avahi_entry_group_new(client, &State::onGroup, this);
            if (!group) {
                return false;
            }
        }
        avahi_entry_group_reset(group);
        const int error = avahi_entry_group_add_service(
            group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), name.c_str(),
            type.c_str(), domain.empty() ? nullptr : domain.c_str(), nullptr, uint16_t(port),
            nullptr);
        if (error == AVAHI_ERR_COLLISION) {
            return rename();
        }
        if (error < 0 || avahi_entry_group_commit(group) < 0) {
            logLine("ServiceDiscovery: %s is not announced: %s", name.c_str(),
                    avahi_strerror(avahi_client_errno(client)));
            return false;
        }
        return true;
    }

    bool rename() {
        char* alternative = avahi_alternative_service_name(name.c_str());
        logLine("ServiceDiscovery: the name %s is taken; announcing %s", name.c_str(), alternative);
        name = alternative;
        avahi_free(alternative);
        return addService();
    }

    static void onGroup(AvahiEntryGroup* group, AvahiEntryGroupState groupState, void* data) {
        auto* self = static_cast<State*>(data);
        self->group = group;
        if (groupState == AVAHI_ENTRY_GROUP_ESTABLISHED) {
            self->established = true;
        } else if (groupState == AVAHI_ENTRY_GROUP_COLLISION) {
            self->rename();
        } else if (groupState == AVAHI_ENTRY_GROUP_FAILURE) {
            logLine("ServiceDiscovery: announcing %s failed: %s", self->name.c_str(),
                    avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(group))));
        }
    }

    static void onClient(AvahiClient* client, AvahiClientState clientState, void* data) {
        auto* self = static_cast<State*>(data);
        self->client = client;
        if (clientState == AVAHI_CLIENT_S_RUNNING && self->port > 0 && !self->group) {
            self->addService();
        } else if (clientState == AVAHI_CLIENT_S_COLLISION ||
                   clientState == AVAHI_CLIENT_S_REGISTERING) {
            if (self->group) {
                avahi_entry_group_reset(self->group);
            }
        } else if (clientState == AVAHI_CLIENT_FAILURE) {
            logLine("ServiceDiscovery: the Avahi daemon went away: %s",
                    avahi_strerror(avahi_client_errno(client)));
            self->established = false;
        }
    }

    void close() {
        if (poll) {
            avahi_threaded_poll_stop(poll);
        }
        if (client) {
            avahi_client_free(client); // frees the group too
        }
        if (poll) {
            avahi_threaded_poll_free(poll);
        }
        poll = nullptr;
        client = nullptr;
        group = nullptr;
        established = false;
    }
};

ServiceDiscovery::ServiceDiscovery() : state_(std::make_unique<State>()) {}

ServiceDiscovery::~ServiceDiscovery() {
    withdraw();
}

bool ServiceDiscovery::publish(const std::string& name, const std::string& type,
                               const std::string& domain, int port) {
    withdraw();
    State& s = *state_;
    s.name = name;
    s.type = withoutFinalDot(type);
    s.domain = withoutFinalDot(domain);
    s.port = port;
    s.poll = avahi_threaded_poll_new();
    if (!s.poll) {
        logLine("ServiceDiscovery: %s is not announced: no Avahi poll", name.c_str());
        return false;
    }
    int error = 0;
    // Without AVAHI_CLIENT_NO_FAIL a missing daemon fails here at once, which is the answer
    // wanted: the service runs unannounced.
    s.client = avahi_client_new(avahi_threaded_poll_get(s.poll), AvahiClientFlags(0),
                                &State::onClient, &s, &error);
    if (!s.client) {
        logLine("ServiceDiscovery: %s is not announced (no Avahi daemon: %s)", name.c_str(),
                avahi_strerror(error));
        s.close();
        return false;
    }
    // The client is running already when the daemon answered at once; the callback adds the
    // service otherwise.
    bool added = true;
    if (avahi_client_get_state(s.client) == AVAHI_CLIENT_S_RUNNING && !s.group) {
        added = s.addService();
    }
    if (!added || avahi_threaded_poll_start(s.poll) < 0) {
        s.close();
        return false;
    }
    return true;
}

void ServiceDiscovery::withdraw() {
    state_->close();
}

std::string ServiceDiscovery::hostName() const {
    State& s = *state_;
    if (!s.poll || !s.client) {
        return {};
    }
    avahi_threaded_poll_lock(s.poll);
    const char* fqdn = avahi_client_get_host_name_fqdn(s.client);
    std::string host = fqdn ? fqdn : "";
    avahi_threaded_poll_unlock(s.poll);
    return host;
}

bool ServiceDiscovery::published() const {
    return state_->poll && state_->client;
}

} // namespace vx
