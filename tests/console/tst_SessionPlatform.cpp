// Which display platform Velmora asks Qt for, from the session's environment.
#include "console/SessionPlatform.h"

#include <QTest>

class tst_SessionPlatform : public QObject {
    Q_OBJECT

private slots:
    void waylandWithXWaylandUsesX11_data()
    {
        QTest::addColumn<QByteArray>("qtPlatform");
        QTest::addColumn<QByteArray>("sessionType");
        QTest::addColumn<QByteArray>("waylandDisplay");
        QTest::addColumn<QByteArray>("x11Display");
        QTest::addColumn<QByteArray>("chosen");
        QTest::newRow("wayland session with XWayland")
            << QByteArray() << QByteArrayLiteral("wayland") << QByteArrayLiteral("wayland-0")
            << QByteArrayLiteral(":0") << QByteArrayLiteral("xcb");
        QTest::newRow("compositor without session type")
            << QByteArray() << QByteArray() << QByteArrayLiteral("wayland-1")
            << QByteArrayLiteral(":1") << QByteArrayLiteral("xcb");
        QTest::newRow("wayland without an X server is left to Qt")
            << QByteArray() << QByteArrayLiteral("wayland") << QByteArrayLiteral("wayland-0")
            << QByteArray() << QByteArray();
        QTest::newRow("the driver's own choice wins")
            << QByteArrayLiteral("wayland") << QByteArrayLiteral("wayland")
            << QByteArrayLiteral("wayland-0") << QByteArrayLiteral(":0") << QByteArray();
    }

    void waylandWithXWaylandUsesX11()
    {
        QFETCH(QByteArray, qtPlatform);
        QFETCH(QByteArray, sessionType);
        QFETCH(QByteArray, waylandDisplay);
        QFETCH(QByteArray, x11Display);
        QFETCH(QByteArray, chosen);
        QCOMPARE(preferredPlatform({qtPlatform, sessionType, waylandDisplay, x11Display}), chosen);
    }
};

QTEST_APPLESS_MAIN(tst_SessionPlatform)
#include "tst_SessionPlatform.moc"
