#pragma once

#include "tools/carsim/DriveDecoder.h"

#include <QString>
#include <QStringList>
#include <QTime>

#include <array>

class QHostAddress;
class QTcpServer;

// The motion a drive code asks for, in words ("2" is "forward"); empty for
// anything that is not a code from 1 to 9.
QString motionWords(int code);

// One event as the simulator prints it: "2 forward" for a message, a
// sentence beginning "malformed:" for anything else.
QString describeEvent(const DecoderEvent& event);

// A line of output with the time of day in front, to the millisecond.
QString stampedLine(const QTime& time, const QString& text);

// "127.0.0.1:1500" or "[::1]:1500"; an IPv4 client seen through an IPv6
// socket is shown in its plain IPv4 form.
QString endpointText(const QHostAddress& address, quint16 port);

// Why `server` cannot listen on `where`, as a sentence without its capital.
QString listenError(const QTcpServer& server, const QString& where);

// Counts what the simulator saw over its whole run.
class Tally {
public:
    void count(const DecoderEvent& event);
    void countConnection() { ++m_connections; }

    int messages(int code) const;
    int totalMessages() const;
    int malformed() const { return m_malformed; }
    int connections() const { return m_connections; }

    // The summary printed at exit: one line per code, then the totals.
    QStringList summaryLines() const;

private:
    std::array<int, 9> m_perCode{};
    int m_malformed = 0;
    int m_connections = 0;
};
