#include "e2e/Carsim.h"

#include "e2e/WireCodes.h"
#include "support/TestSupport.h"

#include <QRegularExpression>
#include <QTest>
#include <QTime>

Carsim::Carsim(const QStringList& options)
{
    m_process.start(QStringLiteral(VELMORA_CARSIM_PATH),
                    QStringList{QStringLiteral("--listen"), Loopback, QStringLiteral("--port"),
                                QStringLiteral("0")} +
                        options);
}

Carsim::~Carsim()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool Carsim::waitListening()
{
    static const QRegularExpression first(
        QStringLiteral("^velmora-carsim listening on 127\\.0\\.0\\.1:(\\d+)$"),
        QRegularExpression::MultilineOption);
    QRegularExpressionMatch match;
    if (!QTest::qWaitFor([&] { return (match = first.match(output())).hasMatch(); }, kE2ETimeoutMs))
        return false;
    m_port = match.captured(1).toUShort();
    return m_port != 0;
}

bool Carsim::waitCamera()
{
    static const QRegularExpression line(
        QStringLiteral("^camera stream on (http://127\\.0\\.0\\.1:[1-9]\\d*/\\?action=stream)$"),
        QRegularExpression::MultilineOption);
    QRegularExpressionMatch match;
    if (!QTest::qWaitFor([&] { return (match = line.match(output())).hasMatch(); }, kE2ETimeoutMs))
        return false;
    m_cameraUrl = match.captured(1);
    return true;
}

QList<Carsim::Event> Carsim::events()
{
    static const QRegularExpression line(
        QStringLiteral("^(\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d) (.*)$"),
        QRegularExpression::MultilineOption);
    QList<Event> found;
    auto matches = line.globalMatch(output());
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const QTime time = QTime::fromString(match.captured(1), QStringLiteral("HH:mm:ss.zzz"));
        found.append({time.msecsSinceStartOfDay(), match.captured(2)});
    }
    return found;
}

QString Carsim::codes()
{
    static const QRegularExpression message(QStringLiteral("^([1-9]) "));
    QString text;
    for (const Event& event : events()) {
        const QRegularExpressionMatch match = message.match(event.text);
        if (match.hasMatch())
            text += match.captured(1);
        else if (event.text.startsWith(QLatin1String("malformed")))
            text += QLatin1Char('?');
    }
    return text;
}

QString Carsim::output()
{
    m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
    return m_output;
}
