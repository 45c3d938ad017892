#include "PortLocator.h"
