// The panel record itself; static storage makes it all zero before WinMain runs.
#include "panel_state.h"

PanelRecord PanelState;
