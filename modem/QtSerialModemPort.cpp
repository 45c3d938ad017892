#include "QtSerialModemPort.h"
