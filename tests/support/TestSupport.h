#pragma once

#include <QByteArray>
#include <QEvent>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

// The longest wait for what should come within a few timer ticks: generous,
// so that a loaded machine fails nothing.
constexpr int Timeout = 15000;
// The only host a test may connect to.
inline const QString Loopback = QStringLiteral("127.0.0.1");

class QLabel;
class QLineEdit;
class QPushButton;
class QTcpSocket;
class SocketControl;
class frmComm;
class frmMain;

// One message box as the driver saw it.
struct SeenMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Watches for application-modal message boxes, records each one, and (unless
// told to hold them) presses its OK button, so tests never hang on a box.
class ModalWatcher : public QObject {
    Q_OBJECT

public:
    explicit ModalWatcher(QObject* parent = nullptr);

    const QList<SeenMessage>& seen() const { return m_seen; }
    // Leave boxes open until closeOpenBoxes() is called.
    void setHoldOpen(bool hold) { m_hold = hold; }
    bool isBoxOpen() const;
    void closeOpenBoxes();

private:
    void poll();

    QTimer m_timer;
    QList<SeenMessage> m_seen;
    // Guarded, so that a new box at the address of a destroyed one counts.
    QList<QPointer<QMessageBox>> m_recorded;
    bool m_hold = false;
};

// A throw-away program folder with an optional settings file in it.
class TempAppDir {
public:
    TempAppDir();
    QString path() const;
    QString settingsPath() const;
    // Writes a settings file for host and port, lines ending in CR LF.
    void writeSettings(const QString& host, const QString& port) const;
    void writeRaw(const QByteArray& bytes) const;
    QByteArray readRaw() const;
    bool settingsExist() const;

private:
    QTemporaryDir m_dir;
};

// A stand-in for the car's server on 127.0.0.1, port chosen by the system.
// Records every byte each client sends.
class LoopbackPeer : public QObject {
    Q_OBJECT

public:
    explicit LoopbackPeer(QObject* parent = nullptr);
    ~LoopbackPeer() override;

    // The port it listens on, or listened on before stopListening().
    quint16 port() const
    {
        return m_server.isListening() ? m_server.serverPort() : m_portBeforeStop;
    }
    QString portText() const { return QString::number(port()); }
    int connectionCount() const { return m_connections; }
    int openConnections() const;
    // Everything received on all connections, in arrival order.
    QByteArray received() const { return m_received; }
    void clearReceived() { m_received.clear(); }
    // The client port of the most recent connection.
    quint16 lastClientPort() const { return m_lastClientPort; }
    // The server side of every client connection still open, oldest first.
    QList<QTcpSocket*> clients() const { return m_clients; }
    // Closes every client connection from this side.
    void closeClients();
    // Stops accepting; later connects are refused.
    void stopListening();
    // Accepts again, on the same port as before.
    bool listenAgain();

signals:
    void bytesArrived();
    void clientConnected();
    void clientDisconnected();

private:
    QTcpServer m_server;
    QList<QTcpSocket*> m_clients;
    QByteArray m_received;
    int m_connections = 0;
    quint16 m_lastClientPort = 0;
    quint16 m_portBeforeStop = 0;
};

// Splits a received stream into two-byte drive messages; returns the codes
// as a string of digits, and "?" for anything that is not a proper message.
QString decodeDriveStream(const QByteArray& bytes);
// The same with each run of one code taken as one: the changes the car was
// told of, whatever the quick copies after a change and the once-a-second
// sends repeated. Copies may land at any time after the change, so a test
// that compares whole streams would depend on how fast the machine is.
QString driveChanges(const QByteArray& bytes);

// Shows window and makes it the active one, as a click on it would; false
// when it did not become active.
bool activate(QWidget& window);

// Writes a settings file for host and port into dir, then opens the main
// window on it, shown and active, so that it previews keys.
std::unique_ptr<frmMain> openMainWindow(const TempAppDir& dir, const QString& host,
                                        const QString& port);
// The same, on whatever settings file the folder holds (or none).
std::unique_ptr<frmMain> openMainWindowOn(const TempAppDir& dir);

// The control of type T named name inside parent, found by name as a user's
// tools find it. Ends the test program, naming the control, when there is
// none: every later step would only meet a null pointer.
template <typename T> T* control(const QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no %s named %s in %s", T::staticMetaObject.className(), name,
               parent.metaObject()->className());
    return found;
}

// The main window's controls that driving works through, each found once by
// its name.
struct MainControls {
    explicit MainControls(const frmMain& window);
    QPushButton* cmdOpenClose;
    QLabel* lblWinsock;
    QTimer* tmrRepeat;
    SocketControl* Winsock;
};

// The settings dialog's fields and buttons, each found once by its name.
struct CommControls {
    explicit CommControls(const frmComm& dialog);
    QLineEdit* txtRemoteHost;
    QLineEdit* txtRemotePort;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
};

// Square i (1 to 9) of the main window's direction grid.
QWidget* gridSquare(const frmMain& window, int i);

// The index of the one green square of the grid; 0 if none or several are
// green, -1 if a square is neither pure red nor pure green.
int greenSquare(const frmMain& window);

// Delivers a key event to a window's native window, as the platform does;
// autoRepeat marks the pairs that X11 sends for a held key.
void sendKey(QWidget& window, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers = {},
             bool autoRepeat = false);

// The data of a test with one bool column: a row named whenFalse, then one
// named whenTrue.
void addBoolRows(const char* column, const char* whenFalse, const char* whenTrue);
