#pragma once

#include <QString>
#include <QStringList>

// While alive, the test acts as an ordinary user whom file permissions bind,
// as they bind a driver. Run as root, it first hands the given files and
// folders to the user "nobody" and then takes that user's effective ids; run
// as anyone else, it changes nothing.
class OrdinaryUser {
public:
    explicit OrdinaryUser(const QStringList& handOver = {});
    ~OrdinaryUser();
    OrdinaryUser(const OrdinaryUser&) = delete;
    OrdinaryUser& operator=(const OrdinaryUser&) = delete;

    // False when permissions still do not bind (root could not step down,
    // or the platform has no such users).
    bool isOrdinary() const { return m_ordinary; }

private:
    bool m_ordinary = false;
    bool m_steppedDown = false;
};
