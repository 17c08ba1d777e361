#pragma once

#include "console/DriveState.h"
#include "console/HeldKeys.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QTimer;
class QWidget;
class QWindow;

// The drive keys of every window that drives (the main window and the
// camera window): each release matched to its press whichever of them it
// reaches, and word whenever the keys may go somewhere else, so that the
// car stops. The windows only feed it; what the keys mean is the owner's.
class DriveKeys : public QObject {
    Q_OBJECT

public:
    explicit DriveKeys(QObject* parent = nullptr);

    // A window whose keys drive while it has the focus. It stays one until
    // it is destroyed.
    void addWindow(QWidget* window);
    bool isDrivingWindow(const QWindow* window) const;
    // Whether the keys may go somewhere else right now (a menu is open,
    // another program has the focus, a modal loop runs).
    bool keysHidden() const { return m_keysHidden; }
    // Whether a key or the pad may drive now: a window of ours that drives
    // has the keys.
    bool mayDrive() const;
    // From now on nothing is reported: the owner is going away.
    void setEnded();

#ifdef Q_OS_WIN
    // console/DriveKeysWindows.cpp: each driving window hands on its native
    // messages, for the modal loops of Windows' own.
    void windowsMessage(const QByteArray& eventType, const void* message);
#endif

signals:
    void driveKey(quint16 code, KeyTransition transition);
    // The keys went elsewhere (the car must stop), or came back.
    void keysHiddenChanged(bool hidden);
    // The keys came back while these were still held down, oldest first.
    void keysBack(const QList<quint16>& codes);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void focusWindowChanged(QWindow* focus);
    void stopWhileKeysHidden();
    void keysMayBeVisible();
    void driveOnKeysStillDown();
    void modalLoopStarted();
    void modalLoopEnded();
#ifdef Q_OS_WIN
    void windowsLoopStarted();
    void watchWindowsLoop();
    void releaseOfChangedKey(quint32 scanCode, quint16 virtualKey);
#endif

    QList<QPointer<QWidget>> m_windows;
    bool m_ended = false;
    // The keys held down, so that each release is matched to its press.
    HeldKeys m_heldKeys;
    // Set while the keys may go elsewhere; cleared once they reach a
    // driving window again.
    bool m_keysHidden = false;
    // Set while a modal loop of the platform's own runs; the keys count as
    // hidden until it ends, whatever the focus says.
    bool m_modalLoop = false;
#ifdef Q_OS_WIN
    // The loops that announced their start and not yet their end, and the
    // check for the end of those that announce nothing.
    int m_windowsLoopsNotified = 0;
    QTimer* m_windowsLoopWatch = nullptr;
#endif
};
