#include "LineSettings.h"
