#include "Gateway.h"
