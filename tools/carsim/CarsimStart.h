#pragma once

#include <QString>

#include <functional>
#include <memory>

class CarsimCamera;
class CarsimLive;
class CarsimServer;
class CarsimWindow;

// Starts listening, feeds `live` from the server, starts `camera` when one
// is given and, when `window` is given, opens the simulator's window into
// it. A start that fails is printed through printError and, when a window
// was wanted, shown in a message box as well: a simulator started from the
// desktop has no terminal anyone reads (on Windows its console closes with
// it). A camera that cannot have its default port is left off, and said so,
// since the drive port is what the simulator is for. Returns 0, or the exit
// status for a simulator that cannot listen.
int startCarsim(CarsimServer& server, CarsimLive& live, CarsimCamera* camera,
                std::unique_ptr<CarsimWindow>* window,
                const std::function<void(const QString&)>& printError);
