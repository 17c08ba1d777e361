#include "tools/carsim/CarsimLive.h"

#include "tools/carsim/CarsimServer.h"

CarsimLive::CarsimLive(QObject* parent) : QObject(parent)
{
    m_clock.start();
}

void CarsimLive::feedFromServer(CarsimServer* server)
{
    m_session.setListening(server->listeningEndpoint());
    connect(server, &CarsimServer::clientOpened, this, [this](const QString& endpoint) {
        m_session.linkOpened(endpoint, now());
        emit changed();
    });
    connect(server, &CarsimServer::commandHeard, this, [this](int code) {
        m_session.command(code, now());
        emit changed();
    });
    connect(server, &CarsimServer::clientClosed, this, [this] {
        m_session.linkClosed(now());
        emit changed();
    });
}

const CarSession& CarsimLive::advance()
{
    m_session.advanceTo(now());
    return m_session;
}

void CarsimLive::clearTrail()
{
    advance();
    m_session.clearTrail();
    emit changed();
}

void CarsimLive::restart()
{
    advance();
    m_session.restart();
    emit changed();
}
