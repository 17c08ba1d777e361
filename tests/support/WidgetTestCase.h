#pragma once

#include "support/TestSupport.h"

#include <QObject>
#include <QString>
#include <memory>

// The base of every widget test: each test function gets a fresh program
// folder, a watcher that answers message boxes, and cleared connection
// settings. Own steps go in setUp and tearDown; an init() or cleanup() slot
// would hide these.
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
