// What the window tells a driver who cannot tell red from green, or cannot
// see it: the commanded square in grey alone, the arrows, and the names and
// descriptions that assistive technology reads, and the update events that
// tell it of each change.
#include "console/frmMain.h"
#include "settings/frmComm.h"
#include "support/WidgetTestCase.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <cmath>

#ifdef VELMORA_ACCESSIBILITY_BUS
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#endif

namespace {

// Relative luminance of an sRGB colour, the measure contrast ratios use.
double luminance(QRgb pixel)
{
    auto linear = [](int channel) {
        const double c = channel / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(pixel)) + 0.7152 * linear(qGreen(pixel)) +
           0.0722 * linear(qBlue(pixel));
}

double contrast(double a, double b)
{
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// How one square looks in a picture: what most of its inside shows, in
// grey, and where the marks on it (its arrow) lie.
struct SquareLook {
    double inside = 0;
    int inkPixels = 0;
    QPointF inkLean;
};

// Inside the outer `band` of plain colour (the end-to-end tests read that):
// ink is what stands out from the inside's usual grey by 3:1 or more; its
// lean is where its mass lies against the middle of its bounds, -1 to 1.
SquareLook lookAt(const QImage& shot, const QRect& square, int band)
{
    SquareLook look;
    const QRect inner = square.adjusted(band, band, -band, -band);
    std::vector<double> greys;
    for (int y = inner.top(); y <= inner.bottom(); ++y)
        for (int x = inner.left(); x <= inner.right(); ++x)
            greys.push_back(luminance(shot.pixel(x, y)));
    std::nth_element(greys.begin(), greys.begin() + qsizetype(greys.size() / 2), greys.end());
    look.inside = greys[greys.size() / 2];

    // The arrow sits well inside any frame around it.
    const QRect middle = inner.adjusted(band, band, -band, -band);
    QRect bounds;
    QPointF sum;
    for (int y = middle.top(); y <= middle.bottom(); ++y) {
        for (int x = middle.left(); x <= middle.right(); ++x) {
            if (contrast(luminance(shot.pixel(x, y)), look.inside) < 3)
                continue;
            ++look.inkPixels;
            sum += QPointF(x, y);
            bounds |= QRect(x, y, 1, 1);
        }
    }
    if (look.inkPixels > 0) {
        const QPointF mass = sum / look.inkPixels;
        const QPointF centre = QRectF(bounds).center() - QPointF(0.5, 0.5);
        look.inkLean = QPointF((mass.x() - centre.x()) / bounds.width() * 2,
                               (mass.y() - centre.y()) / bounds.height() * 2);
    }
    return look;
}

int sign(double value)
{
    return value > 0.1 ? 1 : value < -0.1 ? -1 : 0;
}

#ifdef VELMORA_ACCESSIBILITY_BUS
// An event as an installed update handler saw it: the object's name, the
// event and, for a value change, the value.
QString eventText(const QObject* object, QAccessible::Event type, const QString& value = {})
{
    return QStringLiteral("%1 %2 %3").arg(object->objectName()).arg(int(type)).arg(value);
}

QStringList& seen()
{
    static QStringList events;
    return events;
}

void recordEvent(QAccessibleEvent* event)
{
    const bool valued = event->type() == QAccessible::ValueChanged;
    seen() << eventText(
        event->object(), event->type(),
        valued ? static_cast<QAccessibleValueChangeEvent*>(event)->value().toString() : QString());
}
#endif

QString accessibleText(QObject* object, QAccessible::Text text)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(text) : QStringLiteral("<no interface>");
}

} // namespace

#ifdef VELMORA_ACCESSIBILITY_BUS
// Stands in for the desktop's accessibility registry on a private session
// bus: Qt switches its accessibility on, and so sends its update events,
// only when the registry says that a screen reader may listen.
class AccessibilityRegistry : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.a11y.Bus")

public:
    explicit AccessibilityRegistry(QObject* parent) : QDBusAbstractAdaptor(parent) {}

public slots:
    QString GetAddress() { return qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"); }
};

class AccessibilityStatus : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.a11y.Status")
    Q_PROPERTY(bool IsEnabled READ on)
    Q_PROPERTY(bool ScreenReaderEnabled READ on)

public:
    explicit AccessibilityStatus(QObject* parent) : QDBusAbstractAdaptor(parent) {}
    bool on() const { return true; }
};
#endif

class tst_GridAccess : public WidgetTestCase {
    Q_OBJECT

private slots:
    void commandedSquareReadsInGrey_data();
    void commandedSquareReadsInGrey();
    void screenReaderFollowsDirectionAndLink();
    void dialogFieldsNamedByTheirLabels();
    void changesSendUpdateEvents();
};

void tst_GridAccess::commandedSquareReadsInGrey_data()
{
    QTest::addColumn<qreal>("scale");
    QTest::newRow("100 %") << 1.0;
    QTest::newRow("125 %") << 1.25;
    QTest::newRow("150 %") << 1.5;
}

void tst_GridAccess::commandedSquareReadsInGrey()
{
    QFETCH(qreal, scale);
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    QTest::keyPress(w->windowHandle(), Qt::Key_7, Qt::KeypadModifier);

    // Drawn as the display would at that scaling.
    QWidget* client = w->centralWidget();
    QImage shot(client->size() * scale, QImage::Format_RGB32);
    shot.setDevicePixelRatio(scale);
    client->render(&shot);
    auto inPicture = [scale](const QRect& r) {
        return QRect(QPoint(qCeil(r.left() * scale), qCeil(r.top() * scale)),
                     QPoint(int((r.right() + 1) * scale) - 1, int((r.bottom() + 1) * scale) - 1));
    };
    const int band = int(8 * scale);
    QList<SquareLook> looks;
    for (int i = 1; i <= 9; ++i)
        looks << lookAt(shot, inPicture(gridSquare(*w, i)->geometry()), band);

    // The offscreen platform under Wine has no font with arrows; there the
    // squares show boxes that lean nowhere.
    const bool arrowsInFonts = QFontMetrics(w->font()).inFontUcs4(0x2196);
    for (int i = 1; i <= 9; ++i) {
        const SquareLook& look = looks[i - 1];
        const QString which = QStringLiteral("square %1").arg(i);
        QVERIFY2(i == 1 || contrast(looks[0].inside, look.inside) >= 3, qPrintable(which));
        QVERIFY2(look.inkPixels > 100 * scale * scale, qPrintable(which));
        // Each arrow leans the way its square lies from the middle of the
        // grid; the stop square's mark leans nowhere.
        if (arrowsInFonts)
            QVERIFY2(QPoint(sign(look.inkLean.x()), sign(look.inkLean.y())) ==
                         QPoint((i - 1) % 3 - 1, (i - 1) / 3 - 1),
                     qPrintable(which));
    }
    if (!arrowsInFonts)
        QSKIP("no font with arrows here: which way the arrows point was not checked");
}

void tst_GridAccess::screenReaderFollowsDirectionAndLink()
{
    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    const MainControls ui(*w);
    QWidget* grid = control<QWidget>(*w, "fraDirection");
    for (QObject* object : {static_cast<QObject*>(ui.cmdOpenClose),
                            static_cast<QObject*>(ui.lblWinsock), static_cast<QObject*>(grid)})
        QVERIFY2(!accessibleText(object, QAccessible::Description).isEmpty(),
                 object->objectName().toLatin1());
    QCOMPARE(accessibleText(ui.cmdOpenClose, QAccessible::Name), QStringLiteral("Open Comm"));
    QVERIFY(!accessibleText(grid, QAccessible::Name).isEmpty());

    QTest::keyPress(w->windowHandle(), Qt::Key_Up);
    QTest::keyPress(w->windowHandle(), Qt::Key_Left);
    QCOMPARE(accessibleText(grid, QAccessible::Description),
             QStringLiteral("Commanded: forward, left"));
    // The first key connected: the button and the label say so.
    QTRY_COMPARE_WITH_TIMEOUT(accessibleText(ui.lblWinsock, QAccessible::Name),
                              QStringLiteral("Connected"), Timeout);
    QCOMPARE(accessibleText(ui.cmdOpenClose, QAccessible::Name), QStringLiteral("Close Comm"));
}

void tst_GridAccess::dialogFieldsNamedByTheirLabels()
{
    frmComm dialog;
    const CommControls ui(dialog);
    QCOMPARE(accessibleText(ui.txtRemoteHost, QAccessible::Name), QStringLiteral("Remote Host"));
    QCOMPARE(accessibleText(ui.txtRemotePort, QAccessible::Name), QStringLiteral("Remote Port"));
}

void tst_GridAccess::changesSendUpdateEvents()
{
#ifdef VELMORA_ACCESSIBILITY_BUS
    // Qt's accessibility is on only on a desktop platform with a registry:
    // this part runs as tst_GridAccessEvents, on X with a private bus.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("runs as tst_GridAccessEvents");
    QObject registry;
    new AccessibilityRegistry(&registry);
    new AccessibilityStatus(&registry);
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.registerObject(QStringLiteral("/org/a11y/bus"), &registry,
                               QDBusConnection::ExportAdaptors));
    QVERIFY(bus.registerService(QStringLiteral("org.a11y.Bus")));

    LoopbackPeer peer;
    auto w = openMainWindow(dir(), Loopback, peer.portText());
    const MainControls ui(*w);
    QWidget* grid = control<QWidget>(*w, "fraDirection");
    QTRY_VERIFY_WITH_TIMEOUT(QAccessible::isActive(), Timeout);
    seen().clear();
    const auto previous = QAccessible::installUpdateHandler(recordEvent);
    const auto restore = qScopeGuard([previous] { QAccessible::installUpdateHandler(previous); });

    QTest::keyPress(w->windowHandle(), Qt::Key_Up);
    QTest::keyPress(w->windowHandle(), Qt::Key_Left);
    QVERIFY(seen().contains(eventText(grid, QAccessible::DescriptionChanged)));
    QVERIFY(seen().contains(
        eventText(grid, QAccessible::ValueChanged, QStringLiteral("forward, left"))));
    QTRY_VERIFY_WITH_TIMEOUT(seen().contains(eventText(ui.lblWinsock, QAccessible::NameChanged)),
                             Timeout);
    QVERIFY(seen().contains(eventText(ui.cmdOpenClose, QAccessible::NameChanged)));
#else
    QSKIP("needs Qt's D-Bus module, for a stand-in accessibility registry");
#endif
}

QTEST_MAIN(tst_GridAccess)
#include "tst_GridAccess.moc"
