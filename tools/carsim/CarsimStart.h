#pragma once

#include <QString>

#include <functional>
#include <memory>

class CarsimServer;
class CarsimWindow;

// Starts listening and, when `window` is given, opens the simulator's window
// into it. A start that fails is printed through printError and, when a
// window was wanted, shown in a message box as well: a simulator started from
// the desktop has no terminal anyone reads (on Windows its console closes
// with it). Returns 0, or the exit status for a simulator that cannot listen.
int startCarsim(CarsimServer& server, std::unique_ptr<CarsimWindow>* window,
                const std::function<void(const QString&)>& printError);
