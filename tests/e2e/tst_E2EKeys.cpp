// Real key events from the X server to the real program, and the drive
// commands that reach the peer: one key pressed and released, a key held
// under the server's auto-repeat, and the numeric keypad.

#include "e2e/Carsim.h"
#include "e2e/GridReading.h"
#include "e2e/ProgramUnderTest.h"
#include "e2e/VirtualScreen.h"
#include "e2e/WireCodes.h"
#include "support/TestSupport.h"

#include <QRegularExpression>
#include <QTest>

namespace {

// The codes with runs of the same code merged: the repeat timer re-sends
// the last code, so this is what the key events alone produced.
QString merged(const QString& codes)
{
    QString result;
    for (const QChar code : codes) {
        if (result.isEmpty() || result.back() != code)
            result += code;
    }
    return result;
}

} // namespace

class tst_E2EKeys : public ScreenTestCase {
    Q_OBJECT

private slots:
    void upPressedAndReleased();
    void heldKeyRepeatsWithoutRelease();
    void keypad_data();
    void keypad();
};

void tst_E2EKeys::upPressedAndReleased()
{
    Carsim sim;
    QVERIFY2(sim.waitListening(), qPrintable(sim.output()));
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(sim.port()), qPrintable(program.failure()));
    XClient& x = screen().x();

    QVERIFY(x.key("Up", true));
    QVERIFY(program.waitGrid(gridShowing(2)));
    QVERIFY2(
        QTest::qWaitFor([&] { return sim.codes().startsWith(QLatin1Char('2')); }, kE2ETimeoutMs),
        qPrintable(sim.output()));
    QVERIFY(x.key("Up", false));
    QVERIFY(program.waitGrid(gridShowing(5)));
    // The release, then three repeats of the timer.
    QVERIFY2(QTest::qWaitFor([&] { return sim.codes().count(QLatin1Char('5')) >= 4; },
                             2 * kE2ETimeoutMs),
             qPrintable(sim.output()));

    static const QRegularExpression upThenStop(QStringLiteral("^2+5{4,}$"));
    QVERIFY2(sim.codes().contains(upThenStop), qPrintable(sim.output()));

    const QList<Carsim::Event> events = sim.events();
    static const QRegularExpression opened(QStringLiteral("^opened 127\\.0\\.0\\.1:(\\d+)$"));
    const QRegularExpressionMatch connection = opened.match(events.constFirst().text);
    QVERIFY2(connection.hasMatch(), qPrintable(sim.output()));
    const int localPort = connection.captured(1).toInt();
    QVERIFY2(localPort >= 10000 && localPort <= 59999, qPrintable(connection.captured(1)));

    // The timer's repeats come about once a second. The first one after the
    // release may follow it at any distance, so only later gaps count; the
    // copies a change brings within a tenth of a second are not repeats.
    QList<int> stops;
    for (const Carsim::Event& event : events) {
        if (event.text.startsWith(QLatin1String("5 ")) &&
            (stops.isEmpty() || event.ms - stops.constLast() > 150))
            stops.append(event.ms);
    }
    for (int i = 2; i < stops.size(); ++i) {
        const int gap = stops.at(i) - stops.at(i - 1);
        QVERIFY2(gap >= 700 && gap <= 1300,
                 qPrintable(QStringLiteral("repeat after %1 ms:\n%2").arg(gap).arg(sim.output())));
    }
}

void tst_E2EKeys::heldKeyRepeatsWithoutRelease()
{
    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));
    XClient& x = screen().x();
    // The server repeats a held key after 300 ms, then 25 times a second.
    QVERIFY(x.setAutoRepeat(300, 40));

    QVERIFY(x.key("Up", true));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2")), qPrintable(codesOf(peer)));
    // The driver holds the key for about two seconds, the time forty of the
    // server's repeats take (the timer alone would give two); none of them
    // may look like a release.
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2{40,}$")), qPrintable(codesOf(peer)));

    QVERIFY(x.key("Up", false));
    QVERIFY2(waitForCodes(peer, QStringLiteral("^2{10,}5+$")), qPrintable(codesOf(peer)));
    QVERIFY(program.waitGrid(gridShowing(5)));
}

void tst_E2EKeys::keypad_data()
{
    QTest::addColumn<bool>("numLock");
    // Steps: "KEY" taps a key that must send nothing; "KEY=c" taps a key
    // whose press must send code c and whose release must send 5; "+KEY=c"
    // and "-KEY=c" press or release only.
    QTest::addColumn<QStringList>("steps");

    // Keypad 0 comes first: had it been handled, it would have opened the
    // connection and sent 5 before anything else.
    QTest::newRow("num lock on: nine codes, keypad 0 silent")
        << true << QStringList{"KP_0",   "KP_7=1", "KP_8=2", "KP_9=3",  "KP_4=4", "KP_6=6",
                               "KP_1=7", "KP_2=8", "KP_3=9", "+KP_8=2", "KP_5=5", "-KP_8=5"};
    // Without Num Lock only 8, 4, 6 and 2 act, as the arrows they then are.
    QTest::newRow("num lock off: four arrows")
        << false << QStringList{"KP_7", "KP_9",   "KP_1",   "KP_3",   "KP_5",
                                "KP_0", "KP_8=2", "KP_4=4", "KP_6=6", "KP_2=8"};
}

void tst_E2EKeys::keypad()
{
    QFETCH(bool, numLock);
    QFETCH(QStringList, steps);

    LoopbackPeer peer;
    ProgramUnderTest program(screen());
    QVERIFY2(program.startReady(peer.port()), qPrintable(program.failure()));
    XClient& x = screen().x();
    QVERIFY(x.setNumLock(numLock));

    static const QRegularExpression step(QStringLiteral("^([+-]?)(\\w+)(?:=([1-9]))?$"));
    QString expected;
    // Waits until the program has sent `code` after everything before it,
    // and shows it on the grid.
    auto expect = [&](QChar code) {
        if (expected.isEmpty() || expected.back() != code)
            expected += code;
        if (!QTest::qWaitFor([&] { return merged(codesOf(peer)) == expected; }, kE2ETimeoutMs))
            return false;
        return program.waitGrid(gridShowing(code.digitValue()));
    };

    for (const QString& text : std::as_const(steps)) {
        const QRegularExpressionMatch match = step.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        const QString mode = match.captured(1);
        const QByteArray key = match.captured(2).toLatin1();
        const QString code = match.captured(3);
        const auto failure = [&] {
            return QStringLiteral("at %1: expected %2, received %3")
                .arg(text, expected, codesOf(peer));
        };
        if (mode != QLatin1String("-")) {
            QVERIFY(x.key(key.constData(), true));
            if (!code.isEmpty())
                QVERIFY2(expect(code.front()), qPrintable(failure()));
        }
        if (mode != QLatin1String("+")) {
            QVERIFY(x.key(key.constData(), false));
            if (!code.isEmpty())
                QVERIFY2(expect(QLatin1Char('5')), qPrintable(failure()));
        }
    }
    QCOMPARE(merged(codesOf(peer)), expected);
    QCOMPARE(peer.connectionCount(), 1);
}

QTEST_GUILESS_MAIN(tst_E2EKeys)
#include "tst_E2EKeys.moc"
