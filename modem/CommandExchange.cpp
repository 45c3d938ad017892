#include "CommandExchange.h"
