#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Moves this whole test process into a network namespace of its own, with
// only loopback up, where packet-filter rules may drop packets without
// touching the machine's own network. Linux only; needs root and iptables.
//
// Enter it before anything opens a socket or starts a thread that might:
// only the calling thread and what it starts afterwards move.
namespace PrivateNetwork {

// Enters the namespace (once per process). Returns an empty string on
// success, else why it could not, fit for QSKIP.
QString enter();
bool isEntered();

// Runs iptables with these arguments. Refuses (returns the reason) unless
// the process is still in the namespace enter() made; empty on success.
QString iptables(const QStringList& arguments);

// Drops every packet that tries to open a TCP connection to port.
QString dropConnectionsTo(quint16 port);
// Drops all TCP packets to and from port, in both directions.
QString dropAllTraffic(quint16 port);
// Removes every rule added so far.
QString removeRules();

} // namespace PrivateNetwork
