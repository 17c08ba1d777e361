#include "e2e/VirtualScreen.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int kStartTimeoutMs = 20000;

// Focus follows new windows and clicks only, never the pointer, and Alt+F4
// closes the active window, so a test can reach the close request through
// a key as a driver would. Alt+Space stays unbound: under Wine it must reach
// the program, which opens Windows' window menu with it.
const char* const kWindowManagerConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus>
    <focusNew>yes</focusNew>
    <followMouse>no</followMouse>
  </focus>
  <placement>
    <policy>Smart</policy>
  </placement>
  <desktops>
    <number>1</number>
  </desktops>
  <keyboard>
    <keybind key="A-F4">
      <action name="Close"/>
    </keybind>
  </keyboard>
  <mouse>
    <context name="Close">
      <mousebind button="Left" action="Click">
        <action name="Close"/>
      </mousebind>
    </context>
  </mouse>
</openbox_config>
)";

// Reads one line from fd, giving up at the deadline or when the process
// that should write it has ended.
QByteArray readLine(int fd, const QProcess& writer, const QElapsedTimer& clock, int timeoutMs)
{
    QByteArray line;
    while (clock.elapsed() < timeoutMs) {
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, 100);
        if (ready > 0) {
            char c = 0;
            const ssize_t got = ::read(fd, &c, 1);
            if (got <= 0 || c == '\n')
                return line;
            line.append(c);
        } else if (writer.state() == QProcess::NotRunning) {
            break;
        }
    }
    return line;
}

void stopProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

VirtualScreen::VirtualScreen()
{
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_windowManager.setProcessChannelMode(QProcess::MergedChannels);
}

VirtualScreen::~VirtualScreen()
{
    stop();
}

bool VirtualScreen::start(QString* error)
{
    if (!m_dir.isValid()) {
        *error = QStringLiteral("cannot make a temporary folder");
        return false;
    }
    QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (!startServer(error))
        return false;
    if (!m_x.open(m_displayName, error))
        return false;
    return startWindowManager(error);
}

bool VirtualScreen::startServer(QString* error)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (program.isEmpty()) {
        *error = QStringLiteral("Xvfb is not installed (Debian package xvfb); the end-to-end "
                                "tests need it and cannot run without it");
        return false;
    }
    // The server writes the display number it chose to this pipe, so
    // parallel runs never race for a number.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        *error = QStringLiteral("cannot make a pipe");
        return false;
    }
    const int writeEnd = fds[1];
    m_server.setChildProcessModifier([writeEnd] { ::fcntl(writeEnd, F_SETFD, 0); });
    m_server.start(program,
                   {QStringLiteral("-displayfd"), QString::number(writeEnd),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset"),
                    QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24")});
    ::close(writeEnd);
    QElapsedTimer clock;
    clock.start();
    const QByteArray number = m_server.waitForStarted(kStartTimeoutMs)
                                  ? readLine(fds[0], m_server, clock, kStartTimeoutMs).trimmed()
                                  : QByteArray();
    ::close(fds[0]);
    if (number.isEmpty()) {
        *error = QStringLiteral("Xvfb did not report a display number:\n%1").arg(log());
        return false;
    }
    m_displayName = QLatin1Char(':') + QString::fromLatin1(number);
    return true;
}

bool VirtualScreen::startWindowManager(QString* error)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    if (program.isEmpty()) {
        *error = QStringLiteral("openbox is not installed (Debian package openbox); the "
                                "end-to-end tests need a window manager");
        return false;
    }
    const QString config = m_dir.filePath(QStringLiteral("rc.xml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(kWindowManagerConfig) < 0) {
        *error = QStringLiteral("cannot write %1").arg(config);
        return false;
    }
    file.close();
    m_windowManager.setProcessEnvironment(clientEnvironment());
    m_windowManager.start(
        program, {QStringLiteral("--sm-disable"), QStringLiteral("--config-file"), config});
    if (!QTest::qWaitFor([this] { return m_x.windowManagerReady(); }, kStartTimeoutMs)) {
        *error = QStringLiteral("the window manager did not start:\n%1").arg(log());
        return false;
    }
    // It announces itself a moment before it takes on windows, and a window
    // mapped in between stays unmanaged for good. Ready means: a probe
    // window was taken on. Each try uses a new probe, as a lost one stays
    // lost.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kStartTimeoutMs) {
        const WindowId probe = m_x.createWindow(QStringLiteral("probe"));
        const bool managed = QTest::qWaitFor([&] { return m_x.isManaged(probe); }, 1000);
        m_x.destroyWindow(probe);
        if (managed)
            return true;
    }
    *error = QStringLiteral("the window manager takes on no windows:\n%1").arg(log());
    return false;
}

void VirtualScreen::stop()
{
    m_x.close();
    stopProcess(m_windowManager);
    stopProcess(m_server);
}

QProcessEnvironment VirtualScreen::clientEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_displayName);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("XAUTHORITY"));
    // Keep every program's caches and settings out of the user's home.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                       m_dir.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
    return environment;
}

QString VirtualScreen::log()
{
    m_log += QString::fromLocal8Bit(m_server.readAll());
    m_log += QString::fromLocal8Bit(m_windowManager.readAll());
    return m_log;
}

void ScreenTestCase::initTestCase()
{
    QString error;
    QVERIFY2(m_screen.start(&error), qPrintable(error));
}

void ScreenTestCase::cleanupTestCase()
{
    m_screen.stop();
}

void ScreenTestCase::cleanup()
{
    m_screen.x().releaseAll();
}
