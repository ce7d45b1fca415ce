#include "main/UnitMain.h"
