#pragma once

#include <QString>

// The machine a run measured on: CPU model, core count, kernel and the load
// at the time, since other work on the machine shows in every figure.
QString machineText();
