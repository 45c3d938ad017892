#include "QtClock.h"
