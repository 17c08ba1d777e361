// The dialog's fixed geometry against the desktop's fonts: on Linux through
// fontconfig, on Windows through the system's own fonts.
#include "settings/frmComm.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

class tst_frmCommFont : public QObject {
    Q_OBJECT

private slots:
    void labelsFitWhateverTheDesktopFont_data();
    void labelsFitWhateverTheDesktopFont();
};

void tst_frmCommFont::labelsFitWhateverTheDesktopFont_data()
{
    QTest::addColumn<int>("points");
    // Windows' message font and Linux's usual default; and a large one.
    QTest::newRow("9 points") << 9;
    QTest::newRow("12 points") << 12;
}

void tst_frmCommFont::labelsFitWhateverTheDesktopFont()
{
    QFETCH(int, points);
    const QFont desktop = QApplication::font();
    QFont larger = desktop;
    larger.setPointSize(points);
    QApplication::setFont(larger);
    const frmComm dialog;
    QApplication::setFont(desktop);

    const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
    QVERIFY(!labels.isEmpty());
    for (const QLabel* label : labels) {
        const QString text = label->text().remove(u'&');
        const int width = label->fontMetrics().horizontalAdvance(text);
        QVERIFY2(width <= label->width(), qPrintable(QStringLiteral("%1: %2 px in %3")
                                                         .arg(text)
                                                         .arg(width)
                                                         .arg(label->font().toString())));
    }
}

QTEST_MAIN(tst_frmCommFont)
#include "tst_frmCommFont.moc"
