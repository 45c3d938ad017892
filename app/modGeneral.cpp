#include "modGeneral.h"
