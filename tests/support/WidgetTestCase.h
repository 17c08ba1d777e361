#pragma once

#include "support/TestSupport.h"

#include <QObject>
#include <QString>
#include <memory>

// How long a test waits for what a sound program does at once or within a
// few timer ticks: generous, so that a loaded machine fails nothing.
constexpr int Timeout = 15000;
// Every server a test starts listens here, and every settings file a test
// writes for connecting names it: nothing a test runs leaves the machine.
inline const QString Loopback = QStringLiteral("127.0.0.1");

// The base of every widget test: each test function gets a fresh program
// folder, a watcher that answers message boxes, and the connection settings
// as a fresh start finds them. A test file adds its own per-function steps
// in setUp and tearDown, not in init() or cleanup() slots, which would hide
// these.
class WidgetTestCase : public QObject {
    Q_OBJECT

protected:
    TempAppDir& dir() const { return *m_dir; }
    ModalWatcher& watcher() const { return *m_watcher; }
    // Runs once the folder and the watcher exist.
    virtual void setUp() {}
    // Runs while they still exist.
    virtual void tearDown() {}

private slots:
    void init();
    void cleanup();

private:
    std::unique_ptr<TempAppDir> m_dir;
    std::unique_ptr<ModalWatcher> m_watcher;
};
