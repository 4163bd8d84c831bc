// Whether the computer is online, from the system's network information through Qt Network:
// code of the network module, so that Qt Network comes in with it and not at start-up.
#pragma once

#include <QHostAddress>
#include <QList>
#include <optional>

namespace kestrel {

// The system's own answer when a network-information backend loads and knows: true for any
// reachability beyond "disconnected" (a local or site network counts, as an address did before).
// nullopt when there is no backend or it cannot tell.
std::optional<bool> SystemReachability();

// True when a non-loopback address exists (IPv6 link-local addresses, which every interface that
// is up carries, do not count).
bool HasNetworkAddress(const QList<QHostAddress>& addresses);

// The addresses of the interfaces that are up and running.
QList<QHostAddress> LocalAddresses();

// SystemReachability, else HasNetworkAddress(LocalAddresses()).
bool NetworkLooksOnline();

}  // namespace kestrel
