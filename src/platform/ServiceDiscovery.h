#pragma once
// ServiceDiscovery: announces a service on the local network by DNS service discovery
// (multicast DNS through the Avahi daemon), so that browsers and other machines find it by
// name and the user can type "host.local" instead of an address.
//
// Announcing is best effort: without an Avahi daemon (or when the daemon refuses the entry)
// publish() writes one log line saying the service is not announced and returns false; the
// service itself keeps working. A name already taken on the network is replaced by Avahi's
// alternative ("VelvoxNexa #2").
//
// Threads: publish, withdraw and hostName belong to one thread (the main thread); Avahi's own
// poll thread runs its callbacks under the poll's lock, which these functions also take.

#include <memory>
#include <string>

namespace vx {

class ServiceDiscovery {
public:
    ServiceDiscovery();
    // Withdraws the announcement and stops Avahi's thread.
    ~ServiceDiscovery();
    ServiceDiscovery(const ServiceDiscovery&) = delete;
    ServiceDiscovery& operator=(const ServiceDiscovery&) = delete;

    // Announces `name` of `type` ("_http._tcp.") in `domain` ("local.") at `port`. Replaces an
    // earlier announcement. False (and one log line) when it cannot be announced.
    bool publish(const std::string& name, const std::string& type, const std::string& domain,
                 int port);
    // Withdraws the announcement (if any).
    void withdraw();
    // The host's multicast DNS name ("host.local") while announced; empty otherwise.
    std::string hostName() const;
    // Whether an announcement is in place.
    bool published() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vx
