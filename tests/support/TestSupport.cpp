#include "support/TestSupport.h"

#include "console/Colours.h"
#include "console/frmMain.h"
#include "link/SocketControl.h"
#include "settings/SettingsFile.h"
#include "settings/frmComm.h"

#include <QApplication>
#include <QFile>
#include <QHostAddress>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QTest>
#include <QWindow>

ModalWatcher::ModalWatcher(QObject* parent) : QObject(parent)
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
    m_timer.start();
}

bool ModalWatcher::isBoxOpen() const
{
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr;
}

void ModalWatcher::closeOpenBoxes()
{
    poll();
    const bool hold = m_hold;
    m_hold = false;
    while (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        poll();
        if (box == QApplication::activeModalWidget())
            box->done(QMessageBox::Ok);
        QCoreApplication::processEvents();
    }
    m_hold = hold;
}

void ModalWatcher::poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    m_recorded.removeAll(nullptr);
    if (!m_recorded.contains(box)) {
        m_recorded.append(box);
        m_seen.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
    }
    if (!m_hold) {
        // Pressing OK from inside the box's own event loop, as a driver would.
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->done(0);
    }
}

TempAppDir::TempAppDir()
{
    QVERIFY2(m_dir.isValid(), "cannot make a temporary folder");
}

QString TempAppDir::path() const
{
    return m_dir.path() + QLatin1Char('/');
}

QString TempAppDir::settingsPath() const
{
    return path() + settingsFileName();
}

void TempAppDir::writeSettings(const QString& host, const QString& port) const
{
    writeRaw(formatSettingsFile(port, host));
}

void TempAppDir::writeRaw(const QByteArray& bytes) const
{
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray TempAppDir::readRaw() const
{
    QFile file(settingsPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool TempAppDir::settingsExist() const
{
    return QFile::exists(settingsPath());
}

LoopbackPeer::LoopbackPeer(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* client = m_server.nextPendingConnection()) {
            ++m_connections;
            m_lastClientPort = client->peerPort();
            m_clients.append(client);
            connect(client, &QTcpSocket::readyRead, this, [this, client] {
                m_received.append(client->readAll());
                emit bytesArrived();
            });
            connect(client, &QTcpSocket::disconnected, this, [this, client] {
                m_clients.removeAll(client);
                client->deleteLater();
                emit clientDisconnected();
            });
            emit clientConnected();
        }
    });
    QVERIFY2(m_server.listen(QHostAddress::LocalHost, 0), "cannot listen on 127.0.0.1");
}

LoopbackPeer::~LoopbackPeer()
{
    for (QTcpSocket* client : std::as_const(m_clients)) {
        client->disconnect(this);
        client->abort();
    }
}

int LoopbackPeer::openConnections() const
{
    return int(m_clients.size());
}

void LoopbackPeer::closeClients()
{
    const auto clients = m_clients;
    for (QTcpSocket* client : clients)
        client->disconnectFromHost();
}

void LoopbackPeer::stopListening()
{
    m_portBeforeStop = m_server.serverPort();
    m_server.close();
}

bool LoopbackPeer::listenAgain()
{
    return m_server.listen(QHostAddress::LocalHost, m_portBeforeStop);
}

QString decodeDriveStream(const QByteArray& bytes)
{
    QString codes;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const char digit = bytes.at(i);
        const bool good = digit >= '1' && digit <= '9' && bytes.at(i + 1) == '\0';
        codes.append(good ? QLatin1Char(digit) : QLatin1Char('?'));
    }
    if (bytes.size() % 2 != 0)
        codes.append(QLatin1Char('?'));
    return codes;
}

QString driveChanges(const QByteArray& bytes)
{
    QString changes;
    for (const QChar code : decodeDriveStream(bytes)) {
        if (changes.isEmpty() || changes.back() != code)
            changes.append(code);
    }
    return changes;
}

bool activate(QWidget& window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

std::unique_ptr<frmMain> openMainWindow(const TempAppDir& dir, const QString& host,
                                        const QString& port)
{
    dir.writeSettings(host, port);
    return openMainWindowOn(dir);
}

std::unique_ptr<frmMain> openMainWindowOn(const TempAppDir& dir)
{
    auto window = std::make_unique<frmMain>(dir.path());
    if (!activate(*window))
        qWarning("the main window did not become active");
    return window;
}

MainControls::MainControls(const frmMain& window)
    : cmdOpenClose(control<QPushButton>(window, "cmdOpenClose")),
      lblWinsock(control<QLabel>(window, "lblWinsock")),
      tmrRepeat(control<QTimer>(window, "tmrRepeat")),
      Winsock(control<SocketControl>(window, "Winsock"))
{
}

CommControls::CommControls(const frmComm& dialog)
    : txtRemoteHost(control<QLineEdit>(dialog, "txtRemoteHost")),
      txtRemotePort(control<QLineEdit>(dialog, "txtRemotePort")),
      cmdOK(control<QPushButton>(dialog, "cmdOK")),
      cmdCancel(control<QPushButton>(dialog, "cmdCancel"))
{
}

QWidget* gridSquare(const frmMain& window, int i)
{
    return control<QWidget>(window, qPrintable(QStringLiteral("picDir%1").arg(i)));
}

int greenSquare(const frmMain& window)
{
    int green = 0;
    for (int i = 1; i <= 9; ++i) {
        const quint32 colour = toPacked(gridSquare(window, i)->palette().color(QPalette::Window));
        if (colour == Colour::Green)
            green = green == 0 ? i : -2;
        else if (colour != Colour::Red)
            return -1;
    }
    return green < 0 ? 0 : green;
}

void sendKey(QWidget& window, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers,
             bool autoRepeat)
{
    QKeyEvent event(type, key, modifiers, QString(), autoRepeat);
    QCoreApplication::sendEvent(window.windowHandle(), &event);
}

void addBoolRows(const char* column, const char* whenFalse, const char* whenTrue)
{
    QTest::addColumn<bool>(column);
    QTest::newRow(whenFalse) << false;
    QTest::newRow(whenTrue) << true;
}
