#pragma once

class QMenuBar;

// Keeps Alt pressed alone from moving the keyboard to the menu bar, as the
// Windows style does: the drive keys would then walk the menus instead of
// driving. Alt with a menu's letter still opens that menu.
void keepAltAloneFromMenuBar(QMenuBar* menuBar);
