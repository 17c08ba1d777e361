#pragma once

#include <QtGlobal>

// Settings for the connected socket that help a thin stream (a few bytes now
// and then, never a full window) over a link that loses packets. Anything the
// platform lacks is left out; a failure to set an option is not an error.
void tuneForLossyLink(qintptr descriptor);
