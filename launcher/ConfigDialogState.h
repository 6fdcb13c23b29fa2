// ConfigDialogState: what the settings dialog keeps beside the launch table.
#pragma once

struct ConfigDialogState {
    unsigned shownEntry = 0;   // the entry whose fields the controls show
};

extern ConfigDialogState configDialogState;
