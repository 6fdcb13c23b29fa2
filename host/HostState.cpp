#include "host/HostState.h"

HostState hostState;
