#include "tools/carsim/CarsimStart.h"

#include "tools/carsim/CarsimOptions.h"
#include "tools/carsim/CarsimServer.h"
#include "tools/carsim/CarsimWindow.h"

#include <QMessageBox>

int startCarsim(CarsimServer& server, std::unique_ptr<CarsimWindow>* window,
                const std::function<void(const QString&)>& printError)
{
    QString error;
    if (!server.start(&error)) {
        printError(QStringLiteral("velmora-carsim: %1").arg(error));
        if (window) {
            QString sentence = error;
            if (!sentence.isEmpty())
                sentence[0] = sentence[0].toUpper();
            QMessageBox box(QMessageBox::Critical, QStringLiteral("Velmora car simulator"),
                            sentence, QMessageBox::Ok);
            box.exec();
        }
        return kCarsimListenExitStatus;
    }
    if (window) {
        *window = std::make_unique<CarsimWindow>();
        (*window)->feedFromServer(&server);
        (*window)->show();
    }
    return 0;
}
