#include "PollCycle.h"
