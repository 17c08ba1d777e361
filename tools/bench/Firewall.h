#pragma once

#include <QString>
#include <QStringList>

// Packet-dropping rules for the benchmark, through iptables. Only ever used
// inside a private network namespace whose one interface is loopback; every
// rule added is taken out again, by itself, when the object goes.
class Firewall {
public:
    Firewall() = default;
    ~Firewall();
    Firewall(const Firewall&) = delete;
    Firewall& operator=(const Firewall&) = delete;

    // True when the only network interface is loopback, so that rules here
    // cannot touch the machine's own firewall or traffic.
    static bool insideLoopbackOnlyNamespace();

    // Drops TCP connection requests to this port.
    bool dropConnectsTo(quint16 port, QString* error);
    // Drops every TCP packet to or from this port.
    bool dropTrafficOf(quint16 port, QString* error);
    // Drops each TCP packet to this port, and each one from it, at random
    // with this probability (0 to 1), as a weak radio link does.
    bool dropRandomly(quint16 port, double probability, QString* error);
    void removeAll();

private:
    bool add(const QStringList& rule, QString* error);

    QList<QStringList> m_rules;
};
