#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;
class QTimer;

// Wakes the program when a pad's device has input, so that a pad at rest
// costs nothing: otherwise SDL must be polled every few milliseconds to see
// a change at once. Only a device node that can be opened beside SDL can be
// watched (Linux's input and HID nodes); elsewhere, and on Windows, where
// pads can only be polled, isWatching() is false.
class PadWatch : public QObject {
    Q_OBJECT

public:
    // After each wake the device is left alone for restMs: some pads report
    // hundreds of times a second whether moved or not, and must cost no
    // more than polling them every restMs would.
    PadWatch(const QByteArray& devicePath, int restMs, QObject* parent);
    ~PadWatch() override;

    bool isWatching() const { return m_notifier != nullptr; }

signals:
    // The device has input: SDL finds it at its next update.
    void input();
    // The device is gone (unplugged) or can no longer be read.
    void lost();

private:
    void drain();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_rest = nullptr;
};
