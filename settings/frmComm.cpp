#include "settings/frmComm.h"

frmComm::frmComm(QWidget* parent) : QDialog(parent) {}
void frmComm::cmdOK_Click() {}
