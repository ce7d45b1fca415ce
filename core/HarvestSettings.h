#pragma once
// Where the window's settings live in the settings store: the options table's values and the
// window's other settings, read by the window and the command-line harvester alike.
#include <QString>

// The settings store's key that the options and the window's other settings live under.
QString HarvestSettingsKey();
