#pragma once

#include "e2e/XClient.h"

#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A private X server (Xvfb, on a display number it picks itself) with a
// window manager, for as long as the object lives. Windows get real
// activation, decorations and close requests; the test drives them through
// x().
class VirtualScreen {
public:
    VirtualScreen();
    ~VirtualScreen();
    VirtualScreen(const VirtualScreen&) = delete;
    VirtualScreen& operator=(const VirtualScreen&) = delete;

    // Starts the server and the window manager and waits for both. On
    // failure, error says what is missing or what went wrong.
    bool start(QString* error);
    void stop();

    QString displayName() const { return m_displayName; }
    XClient& x() { return m_x; }
    // The environment for a program that should show its windows here.
    QProcessEnvironment clientEnvironment() const;
    // What the server and the window manager printed, for failure reports.
    QString log();

private:
    bool startServer(QString* error);
    bool startWindowManager(QString* error);

    QTemporaryDir m_dir;
    QProcess m_server;
    QProcess m_windowManager;
    QString m_displayName;
    QString m_log;
    XClient m_x;
};

// The base of every end-to-end test: one screen for the whole file, and no
// key left down on it from one test function to the next.
class ScreenTestCase : public QObject {
    Q_OBJECT

protected:
    VirtualScreen& screen() { return m_screen; }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

private:
    VirtualScreen m_screen;
};
