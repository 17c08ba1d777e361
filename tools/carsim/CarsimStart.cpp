#include "tools/carsim/CarsimStart.h"

#include "tools/carsim/CarsimCamera.h"
#include "tools/carsim/CarsimLive.h"
#include "tools/carsim/CarsimOptions.h"
#include "tools/carsim/CarsimServer.h"
#include "tools/carsim/CarsimWindow.h"

#include <QMessageBox>

int startCarsim(CarsimServer& server, CarsimLive& live, CarsimCamera* camera,
                std::unique_ptr<CarsimWindow>* window,
                const std::function<void(const QString&)>& printError)
{
    const auto fail = [&](const QString& error) {
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
    };

    QString error;
    // The camera's port first, so that nothing is printed for a run that
    // ends at once.
    if (camera && !camera->start(&error)) {
        if (camera->mustListen())
            return fail(error);
        printError(QStringLiteral("velmora-carsim: no camera: %1 The car drives without it; "
                                  "--camera-port N picks another port.")
                       .arg(error));
        camera = nullptr;
    }
    if (!server.start(&error))
        return fail(error);
    live.feedFromServer(&server);
    if (camera)
        camera->announce();
    if (window) {
        *window = std::make_unique<CarsimWindow>(live);
        (*window)->show();
    }
    return 0;
}
