// TEMPORARY definitions so this branch links; temporary until the owner lands (the lead
// deletes this file when merging).
#include "main/UnitMain.h"
