#pragma once

#include "e2e/GridReading.h"
#include "e2e/XClient.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class VirtualScreen;

// The real program, copied into a folder of its own with a settings file
// beside it and started from another working folder, so that it must find
// its settings next to the executable. Killed when the object goes.
class ProgramUnderTest {
public:
    explicit ProgramUnderTest(VirtualScreen& screen);
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

    // The settings file the program reads and, on closing, writes: two
    // comment lines, then the port and the host, each line ending in CR LF.
    static QByteArray settingsText(quint16 port, const QString& host = QStringLiteral("127.0.0.1"));

    // Runs another build of the program from now on, for comparing two
    // builds; empty means the one built with the tests.
    static void setExecutable(const QString& path);

    // Installs the program with settings for 127.0.0.1:port and starts it.
    bool start(quint16 port, QString* error);
    // The two halves of start(), for timing the start alone.
    bool install(quint16 port, QString* error);
    bool launch(QString* error);
    // Between the two: a camera settings file beside the program that
    // opens the camera window at start on url.
    bool openCameraAtStart(const QString& url, QString* error);
    // Waits until the main window is shown, has the focus and shows its
    // grid, so that it takes keys from now on.
    bool waitReady(QString* error);
    // start() and waitReady() in one, as every test begins; on failure,
    // failure() says why.
    bool startReady(quint16 port);
    QString failure() const { return m_failure; }
    // Polls until the program shows a window with this title, for the
    // windows besides the main one; 0 when none came.
    WindowId waitWindow(const QString& title);

    WindowId window() const { return m_window; }
    QProcess& process() { return m_process; }
    QString settingsPath() const;
    // The folder the program runs in, which is not its own.
    QString workingFolder() const { return m_workDir.path(); }
    QByteArray settingsFile() const;

    // Opens the File menu by its access key and waits until it shows.
    bool openFileMenu();
    // Types host (letters and digits) into Settings > COM Port... with the
    // keys, presses OK and waits until the main window has the focus again;
    // on failure, failure() says why.
    bool setHostInDialog(const QString& host);

    GridReading readGrid() const;
    // What is wrong with the main window's layout, or nothing: it is titled
    // Velmora and has a 500 x 500 client area under a menu bar, with the
    // grid 100 pixels in from the client area's left and top.
    QString layoutFault() const;
    // Polls the screen until the grid shows `squares` (see gridShowing()).
    bool waitGrid(const QString& squares, int timeoutMs = 10000) const;
    // Polls the screen until the hint under the grid is shown or gone.
    bool waitHint(bool shown, int timeoutMs = 10000) const;

    // Waits for the process to end by itself.
    bool waitExit(int timeoutMs = 15000);
    // Everything the program printed, for failure reports.
    QString output();

private:
    VirtualScreen& m_screen;
    QTemporaryDir m_programDir;
    QTemporaryDir m_workDir;
    QProcess m_process;
    QString m_output;
    QString m_failure;
    WindowId m_window = 0;
};
