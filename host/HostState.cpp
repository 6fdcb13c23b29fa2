#include "host/HostState.h"

HostState hostState;

void StartHostState()
{
    hostState = HostState();
    hostState.lastAcLineStatus = 255;
    hostState.lastVerifyTick = 0xFFFFFFFF;
    hostState.mouseThreshold = 4;
}
