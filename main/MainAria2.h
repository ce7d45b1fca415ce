#pragma once
// File > "Send to aria2...": hands the ticked waiting files to aria2 daemons, as kelvorn-get
// --aria2 does, with the same names, directory, Referer and User-Agent.
class TFormMain;

// Adds the command to the File menu, after the list commands; the window's constructor calls it.
void WireAria2(TFormMain& window);
