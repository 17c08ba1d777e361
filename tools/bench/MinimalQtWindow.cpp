// velmora-bench-minimal-qt: the least a Qt program can do for the key-to-wire
// path. One window; at start it connects to 127.0.0.1:<port>; each press of
// Up or Down and each release sends the two bytes the car expects. The
// benchmark times it like the real program, to tell what Qt and the X
// server cost from what the program adds.
//
// With "native" after the port it sends from a filter on the raw X events
// instead, before Qt turns them into key events: what reading keys that way
// could save.

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QHostAddress>
#include <QKeyEvent>
#include <QTcpSocket>
#include <QWidget>

#include <cstdio>
#include <memory>

// Xlib last, its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

namespace {

class MinimalWindow : public QWidget {
public:
    explicit MinimalWindow(QTcpSocket* socket) : m_socket(socket)
    {
        setWindowTitle(QStringLiteral("velmora-bench-minimal-qt"));
        resize(500, 500);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Up)
            send("2");
        else if (event->key() == Qt::Key_Down)
            send("8");
    }

    void keyReleaseEvent(QKeyEvent* event) override
    {
        if (!event->isAutoRepeat() && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down))
            send("5");
    }

private:
    void send(const char* digit)
    {
        m_socket->write(QByteArray(digit, 1) + '\0');
        m_socket->flush();
    }

    QTcpSocket* m_socket;
};

class RawKeyFilter : public QAbstractNativeEventFilter {
public:
    RawKeyFilter(QTcpSocket* socket, Display* display)
        : m_socket(socket), m_up(XKeysymToKeycode(display, XK_Up)),
          m_down(XKeysymToKeycode(display, XK_Down))
    {
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const int kind = event->response_type & 0x7f;
        if (kind != XCB_KEY_PRESS && kind != XCB_KEY_RELEASE)
            return false;
        const auto* key = static_cast<const xcb_key_press_event_t*>(message);
        if (key->detail != m_up && key->detail != m_down)
            return false;
        const char digit = kind == XCB_KEY_RELEASE ? '5' : key->detail == m_up ? '2' : '8';
        m_socket->write(QByteArray(1, digit) + '\0');
        m_socket->flush();
        return true;
    }

private:
    QTcpSocket* m_socket;
    xcb_keycode_t m_up;
    xcb_keycode_t m_down;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const quint16 port = arguments.size() > 1 ? arguments.at(1).toUShort() : 0;
    if (port == 0) {
        std::fputs("usage: velmora-bench-minimal-qt PORT [native]\n", stderr);
        return 2;
    }
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(10000))
        return 1;
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    MinimalWindow window(&socket);
    std::unique_ptr<RawKeyFilter> filter;
    if (arguments.value(2) == QLatin1String("native")) {
        auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
        if (!x11)
            return 2;
        filter = std::make_unique<RawKeyFilter>(&socket, x11->display());
        app.installNativeEventFilter(filter.get());
    }
    window.show();
    return app.exec();
}
