#pragma once

class QTcpSocket;

// Ends the connection from this side with a reset instead of an orderly
// close, as a crashed or killed server does. False when the socket refused
// to be set up for it (the connection is then closed in order).
bool resetConnection(QTcpSocket* socket);
