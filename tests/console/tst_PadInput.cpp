// A pad whose device can be watched wakes the program only when it has
// input, instead of being polled every few milliseconds. SDL's virtual pad
// gives the readings; a stand-in device node gives the wake-ups and the loss
// that a real pad's node would.
#include "console/PadInput.h"
#include "support/StandInDevice.h"
#include "support/TestSupport.h"
#include "support/VirtualPad.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

class tst_PadInput : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void watchedPadWakesOnItsInput();
    void lostDeviceStopsAtOnce();

private:
    // Drives the pad forward and waits until the input has seen it.
    bool driveForward();

    std::unique_ptr<VirtualPad> m_pad;
    std::unique_ptr<StandInDevice> m_device;
    std::unique_ptr<PadInput> m_input;
    PadDirections m_last;
};

void tst_PadInput::init()
{
    m_pad = std::make_unique<VirtualPad>();
    m_device = std::make_unique<StandInDevice>();
    QVERIFY(m_pad->isAttached());
    QVERIFY(!m_device->path().isEmpty());
    m_input = std::make_unique<PadInput>();
    const QByteArray path = m_device->path();
    m_input->setDevicePath([path](auto*) { return path; });
    m_input->start();
    connect(m_input.get(), &PadInput::moved, this,
            [this](const PadDirections&, const PadDirections& now) { m_last = now; });

    // A pad at rest costs no quick poll; here the poll stops altogether, so
    // that only the device can wake the input. The pad is read once all the
    // same, so that it may drive at its first move.
    auto* poll = m_input->findChild<QTimer*>(QStringLiteral("tmrPad"));
    QVERIFY(poll->interval() >= 100);
    poll->stop();
    QTRY_VERIFY_WITH_TIMEOUT(m_input->mayDrive(), Timeout);
}

void tst_PadInput::cleanup()
{
    m_input.reset();
    m_device.reset();
    m_pad.reset();
    m_last = {};
}

bool tst_PadInput::driveForward()
{
    m_pad->stick(0, -32767);
    m_device->input();
    return QTest::qWaitFor([this] { return m_last.throttle == Drive::Forward; }, Timeout);
}

void tst_PadInput::watchedPadWakesOnItsInput()
{
    QVERIFY(driveForward());
    m_pad->stick(32767, 0);
    m_device->input();
    QTRY_COMPARE_WITH_TIMEOUT(m_last.steering, Drive::Right, Timeout);
    QCOMPARE(m_last.throttle, Drive::Neutral);
}

void tst_PadInput::lostDeviceStopsAtOnce()
{
    QVERIFY(driveForward());
    // SDL still has the pad: only the device tells it is gone.
    QSignalSpy unplugged(m_input.get(), &PadInput::unplugged);
    m_device->unplug();
    QVERIFY(unplugged.wait(Timeout));
    QCOMPARE(unplugged.first().first().toBool(), true);
    QVERIFY(!m_input->mayDrive());
}

QTEST_GUILESS_MAIN(tst_PadInput)
#include "tst_PadInput.moc"
