// The panel's controls, its painted labels and frame, and the edits' colours.
#pragma once

#include <windows.h>

// Builds the sixteen permanent controls, in table order, into PanelState.
void CreatePanelControls(HWND window);

// Draws the grey frame and the labels; the skin is already there from the erase.
void PaintPanel(HDC dc);

// Red digits on the white DC_BRUSH for the three editable fields.
HBRUSH ColourPanelEdit(HDC dc);
