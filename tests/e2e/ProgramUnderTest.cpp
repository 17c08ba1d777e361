#include "e2e/ProgramUnderTest.h"

#include "e2e/VirtualScreen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

constexpr int kReadyTimeoutMs = 20000;

QString& executableOverride()
{
    static QString path;
    return path;
}

// The Windows build, when a test names it, runs in place of this one.
QString windowsProgram()
{
    return qEnvironmentVariable("VELMORA_E2E_WINDOWS_EXE");
}

QString executableName()
{
    return windowsProgram().isEmpty() ? QStringLiteral("velmora") : QStringLiteral("velmora.exe");
}

} // namespace

ProgramUnderTest::ProgramUnderTest(VirtualScreen& screen) : m_screen(screen)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

ProgramUnderTest::~ProgramUnderTest()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void ProgramUnderTest::setExecutable(const QString& path)
{
    executableOverride() = path;
}

QByteArray ProgramUnderTest::settingsText(quint16 port, const QString& host)
{
    return QByteArrayLiteral("' Hi y'all! I'm writing this program and I got bored.\r\n"
                             "' So i'm writing this 2-line blurb. The end. (Make that 4-line.)\r\n"
                             "RemotePort=") +
           QByteArray::number(port) + "\r\nRemoteHost=" + host.toLatin1() + "\r\n";
}

QString ProgramUnderTest::settingsPath() const
{
    return m_programDir.filePath(QStringLiteral("Velmora.ini"));
}

QByteArray ProgramUnderTest::settingsFile() const
{
    QFile file(settingsPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool ProgramUnderTest::start(quint16 port, QString* error)
{
    return install(port, error) && launch(error);
}

bool ProgramUnderTest::install(quint16 port, QString* error)
{
    if (!m_programDir.isValid() || !m_workDir.isValid()) {
        *error = QStringLiteral("cannot make temporary folders");
        return false;
    }
    const QString executable = m_programDir.filePath(executableName());
    QString source = windowsProgram();
    if (source.isEmpty())
        source = executableOverride().isEmpty() ? QStringLiteral(VELMORA_EXE_PATH)
                                                : executableOverride();
    if (!QFile::copy(source, executable)) {
        *error = QStringLiteral("cannot copy %1").arg(source);
        return false;
    }
    // Windows finds the program's own libraries beside it, as the packages
    // lay them out; Qt's come from the path. Without one of them the program
    // never starts.
    if (!windowsProgram().isEmpty()) {
        for (const QString& name :
             {QStringLiteral("SDL2.dll"), QStringLiteral("libturbojpeg.dll")}) {
            const QString library = QFileInfo(source).dir().filePath(name);
            if (!QFile::copy(library, m_programDir.filePath(name))) {
                *error = QStringLiteral("cannot copy %1").arg(library);
                return false;
            }
        }
    }
    QFile settings(settingsPath());
    if (!settings.open(QIODevice::WriteOnly) || settings.write(settingsText(port)) < 0) {
        *error = QStringLiteral("cannot write %1").arg(settingsPath());
        return false;
    }
    settings.close();
    return true;
}

bool ProgramUnderTest::openCameraAtStart(const QString& url, QString* error)
{
    const QString path = m_programDir.filePath(QStringLiteral("Camera.ini"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write("CameraUrl=" + url.toLatin1() + "\r\nCameraWindow=1\r\n") < 0) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

bool ProgramUnderTest::launch(QString* error)
{
    const QString executable = m_programDir.filePath(executableName());
    QProcessEnvironment environment = m_screen.clientEnvironment();
    m_process.setWorkingDirectory(m_workDir.path());
    if (windowsProgram().isEmpty()) {
        m_process.setProcessEnvironment(environment);
        m_process.start(executable, {});
    } else {
        // Windows has no xcb platform; the program picks its own.
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        m_process.setProcessEnvironment(environment);
        m_process.start(qEnvironmentVariable("VELMORA_E2E_WINDOWS_RUNNER"), {executable});
    }
    if (!m_process.waitForStarted(kReadyTimeoutMs)) {
        *error = QStringLiteral("the program did not start: %1").arg(m_process.errorString());
        return false;
    }
    return true;
}

bool ProgramUnderTest::waitReady(QString* error)
{
    XClient& x = m_screen.x();
    const qint64 pid = m_process.processId();
    const bool ready = QTest::qWaitFor(
        [&] {
            if (m_process.state() == QProcess::NotRunning)
                return true;
            if (!m_window)
                m_window = x.windowOfProcess(pid);
            return m_window && x.isViewable(m_window) && x.focusWindow() == m_window &&
                   readGrid().squares == gridShowing(0);
        },
        kReadyTimeoutMs);
    if (ready && m_process.state() != QProcess::NotRunning)
        return true;
    *error = QStringLiteral("the main window never became ready (window %1, focus on %2, "
                            "grid \"%3\"); program output:\n%4")
                 .arg(m_window)
                 .arg(x.focusWindow())
                 .arg(readGrid().squares, output());
    return false;
}

WindowId ProgramUnderTest::waitWindow(const QString& title)
{
    XClient& x = m_screen.x();
    const qint64 pid = m_process.processId();
    WindowId found = 0;
    const bool ended = QTest::qWaitFor(
        [&] {
            for (const WindowId window : x.windowsOfProcess(pid)) {
                if (x.isViewable(window) && x.windowTitle(window) == title)
                    found = window;
            }
            return found != 0 || m_process.state() == QProcess::NotRunning;
        },
        kReadyTimeoutMs);
    return ended ? found : 0;
}

bool ProgramUnderTest::startReady(quint16 port)
{
    m_failure.clear();
    return start(port, &m_failure) && waitReady(&m_failure);
}

bool ProgramUnderTest::openFileMenu()
{
    XClient& x = m_screen.x();
    if (!x.tapWithAlt("f"))
        return false;
    const qint64 pid = m_process.processId();
    return QTest::qWaitFor([&] { return x.popupOfProcess(pid) != 0; }, kReadyTimeoutMs);
}

bool ProgramUnderTest::setHostInDialog(const QString& host)
{
    XClient& x = m_screen.x();
    m_failure.clear();
    // The dialog opens with OK focused: two tabs on, the host field, whose
    // text is selected so that typing replaces it.
    if (!x.tapWithAlt("s") || !x.tap("c") ||
        !QTest::qWaitFor([&] { return x.focusWindow() != 0 && x.focusWindow() != m_window; },
                         kReadyTimeoutMs) ||
        !x.tap("Tab") || !x.tap("Tab")) {
        m_failure = QStringLiteral("the settings dialog did not open");
        return false;
    }
    for (const QChar c : host) {
        if (!x.tap(QString(c).toLatin1().constData())) {
            m_failure = QStringLiteral("cannot type %1").arg(c);
            return false;
        }
    }
    if (!x.tap("Return") ||
        !QTest::qWaitFor([&] { return x.focusWindow() == m_window; }, kReadyTimeoutMs)) {
        m_failure = QStringLiteral("the settings dialog did not close");
        return false;
    }
    return true;
}

GridReading ProgramUnderTest::readGrid() const
{
    if (!m_window)
        return {};
    return ::readGrid(m_screen.x().grab(m_window));
}

QString ProgramUnderTest::layoutFault() const
{
    XClient& x = m_screen.x();
    const QString title = x.windowTitle(m_window);
    if (title != QLatin1String("Velmora"))
        return QStringLiteral("the window is titled \"%1\"").arg(title);
    // The grid starts 100 pixels into the client area, which lies under the
    // menu bar: that fixes where the client area starts in the window.
    const QPoint origin = readGrid().origin;
    if (origin.x() != 100)
        return QStringLiteral("the grid starts %1 pixels from the left").arg(origin.x());
    const int menuBarHeight = origin.y() - 100;
    if (menuBarHeight <= 0)
        return QStringLiteral("no menu bar above the client area");
    const QSize window = x.windowSize(m_window);
    const QSize clientArea(window.width(), window.height() - menuBarHeight);
    if (clientArea != QSize(500, 500))
        return QStringLiteral("the client area is %1 x %2")
            .arg(clientArea.width())
            .arg(clientArea.height());
    return {};
}

bool ProgramUnderTest::waitGrid(const QString& squares, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return readGrid().squares == squares; }, timeoutMs);
}

bool ProgramUnderTest::waitHint(bool shown, int timeoutMs) const
{
    return QTest::qWaitFor(
        [&] {
            const GridReading grid = readGrid();
            return grid.found && grid.hintShown == shown;
        },
        timeoutMs);
}

bool ProgramUnderTest::waitExit(int timeoutMs)
{
    // Polls rather than blocks, so that peers in this process keep serving
    // their connections meanwhile.
    return QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
}

QString ProgramUnderTest::output()
{
    m_output += QString::fromLocal8Bit(m_process.readAll());
    return m_output;
}
