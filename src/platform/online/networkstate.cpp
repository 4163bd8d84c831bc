#include "platform/online/networkstate.h"

#include <QNetworkInformation>
#include <QNetworkInterface>
#include <algorithm>

namespace kestrel {

std::optional<bool> SystemReachability() {
    if (!QNetworkInformation::instance() &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        return std::nullopt;
    }
    switch (QNetworkInformation::instance()->reachability()) {
        case QNetworkInformation::Reachability::Unknown:
            return std::nullopt;
        case QNetworkInformation::Reachability::Disconnected:
            return false;
        case QNetworkInformation::Reachability::Local:
        case QNetworkInformation::Reachability::Site:
        case QNetworkInformation::Reachability::Online:
            return true;
    }
    return std::nullopt;
}

bool HasNetworkAddress(const QList<QHostAddress>& addresses) {
    return std::any_of(addresses.begin(), addresses.end(), [](const QHostAddress& address) {
        if (address.isNull() || address.isLoopback())
            return false;
        return address.protocol() != QAbstractSocket::IPv6Protocol || !address.isLinkLocal();
    });
}

QList<QHostAddress> LocalAddresses() {
    QList<QHostAddress> addresses;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            !flags.testFlag(QNetworkInterface::IsRunning)) {
            continue;
        }
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry& entry : entries)
            addresses << entry.ip();
    }
    return addresses;
}

bool NetworkLooksOnline() {
    return SystemReachability().value_or(HasNetworkAddress(LocalAddresses()));
}

}  // namespace kestrel
