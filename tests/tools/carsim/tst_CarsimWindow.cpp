#include "support/TestSupport.h"
#include "tools/carsim/CarsimLive.h"
#include "tools/carsim/CarsimOptions.h"
#include "tools/carsim/CarsimServer.h"
#include "tools/carsim/CarsimStart.h"
#include "tools/carsim/CarsimWindow.h"

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

namespace {

// Where the car is in the window's picture: the middle of its orange body
// (the only strongly orange thing drawn), or a null point when none shows.
QPointF carInPicture(QWidget& window)
{
    const QImage picture = window.grab().toImage();
    double sumX = 0, sumY = 0, count = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            if (c.red() > 180 && c.green() > 70 && c.green() < 150 && c.blue() < 80) {
                sumX += x;
                sumY += y;
                ++count;
            }
        }
    }
    return count < 20 ? QPointF() : QPointF(sumX / count, sumY / count);
}

} // namespace

class tst_CarsimWindow : public QObject {
    Q_OBJECT

private slots:
    void forwardMovesTheCarRightOnScreen();
    void busyPortIsShownNotJustPrinted();
};

void tst_CarsimWindow::forwardMovesTheCarRightOnScreen()
{
    CarsimOptions options;
    options.listenAddress = QHostAddress(Loopback);
    options.port = 0;
    CarsimServer server(options, [](const QString&) {});
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    CarsimLive live;
    live.feedFromServer(&server);
    CarsimWindow window(live);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QPointF before = carInPicture(window);
    QVERIFY(!before.isNull());

    QTcpSocket client;
    client.connectToHost(QHostAddress(Loopback),
                         window.session().listening().section(':', -1).toUShort());
    QVERIFY(client.waitForConnected(Timeout));
    client.write(QByteArray("2\0", 2));
    QVERIFY(QTest::qWaitFor(
        [&] {
            const QPointF now = carInPicture(window);
            return !now.isNull() && now.x() > before.x() + 30 && std::abs(now.y() - before.y()) < 3;
        },
        Timeout));
}

void tst_CarsimWindow::busyPortIsShownNotJustPrinted()
{
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress(Loopback), 0));
    CarsimOptions options;
    options.listenAddress = QHostAddress(Loopback);
    options.port = holder.serverPort();
    CarsimServer server(options, [](const QString&) {});

    QString shown;
    QTimer closer;
    closer.callOnTimeout(&closer, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    closer.start(10);
    CarsimLive live;
    std::unique_ptr<CarsimWindow> window;
    QCOMPARE(startCarsim(server, live, nullptr, &window, [](const QString&) {}),
             kCarsimListenExitStatus);
    QVERIFY2(shown.contains(QLatin1String("busy")), qPrintable(shown));
    QVERIFY(!window);
}

QTEST_MAIN(tst_CarsimWindow)
#include "tst_CarsimWindow.moc"
