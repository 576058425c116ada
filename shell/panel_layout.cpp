// Where the permanent controls stand and what the main window paints itself.
#include "panel_layout.h"

#include "number_sending.h"
#include "painted_text.h"
#include "panel_controls.h"
#include "panel_state.h"
#include "resource.h"

static const DWORD EditableStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | ES_NUMBER | ES_CENTER;
// 0x0200 is in the displays' style as it always was, though no edit style names it.
static const DWORD DisplayStyle = WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_BORDER | ES_NOHIDESEL | 0x0200;
static const DWORD GroupBoxStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | BS_BITMAP | BS_GROUPBOX;
// The first radio button opens the group; creation order makes the other two its members.
static const DWORD FirstRadioStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | BS_AUTORADIOBUTTON;
static const DWORD RadioStyle = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON;

static const ControlRow PermanentControls[] = {
    {&PanelState.NumberEdit, "EDIT", "", EditableStyle, 75, 127, 100, 20, 0, NULL, 0},
    {&PanelState.FirstOperandEdit, "EDIT", "1st", EditableStyle, 75, 197, 50, 20, 0, NULL, 0},
    {&PanelState.SecondOperandEdit, "EDIT", "2nd", EditableStyle, 175, 197, 50, 20, 0, NULL, 0},
    {&PanelState.CounterDisplay, "EDIT", "", DisplayStyle, 110, 70, 38, 17, 0, NULL, 0},
    {&PanelState.AutoCounterWholeDisplay, "EDIT", "", DisplayStyle, 262, 70, 21, 17, 0, NULL, 0},
    {&PanelState.AutoCounterTenthsDisplay, "EDIT", "", DisplayStyle, 291, 70, 12, 17, 0, NULL, 0},
    {&PanelState.SwitchButton, "BUTTON", "", PictureButtonStyle, 240, 45, 60, 18, 0,
     &PanelState.SwitchOffBitmap, IDB_SWITCH_OFF},
    {&PanelState.SendNumberButton, "BUTTON", "", PictureButtonStyle, 180, 128, 60, 18, 0,
     &PanelState.SendNumberBitmap, IDB_SEND_NUMBER_BUTTON},
    {&PanelState.SendResultButton, "BUTTON", "", PictureButtonStyle, 200, 238, 80, 25, 0,
     &PanelState.SendResultBitmap, IDB_SEND_RESULT_BUTTON},
    {&PanelState.CloseButton, "BUTTON", "", PictureButtonStyle, 305, 7, 15, 15, 0,
     &PanelState.CloseBitmap, IDB_CLOSE_BUTTON},
    {&PanelState.MinimizeButton, "BUTTON", "", PictureButtonStyle, 288, 7, 15, 15, 0,
     &PanelState.MinimizeBitmap, IDB_MINIMIZE_BUTTON},
    {&PanelState.AboutButton, "BUTTON", "", PictureButtonStyle, 165, 299, 25, 25, 0,
     &PanelState.AboutButtonBitmap, IDB_ABOUT_BUTTON},
    // Its picture comes only after the radio buttons exist.
    {&PanelState.OperationGroupBox, "BUTTON", "", GroupBoxStyle, 50, 225, 130, 60, 0, NULL, 0},
    {&PanelState.AddRadio, "BUTTON", "+", FirstRadioStyle, 60, 255, 30, 20, AddRadioId, NULL, 0},
    {&PanelState.SubtractRadio, "BUTTON", "-", RadioStyle, 100, 255, 30, 20, SubtractRadioId, NULL, 0},
    {&PanelState.MultiplyRadio, "BUTTON", "*", RadioStyle, 140, 255, 30, 20, MultiplyRadioId, NULL, 0},
};

void CreatePanelControls(HWND window)
{
    CreateControls(window, PermanentControls);
    SetButtonPicture(PanelState.OperationGroupBox, &PanelState.OperationGroupBitmap, IDB_OPERATION_GROUP);
}

void PaintPanel(HDC dc)
{
    HPEN pen = CreatePen(PS_SOLID, 2, RGB(103, 103, 103));
    HBRUSH brush = CreateSolidBrush(RGB(240, 240, 240));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    Rectangle(dc, 48, 222, 182, 287);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(70, 70, 70));
    DrawLabel(dc, 46, 69, "Counter :");
    DrawLabel(dc, 166, 69, "Auto Counter :");
    // The Auto Counter reads whole part, point, tenths.
    DrawLabel(dc, 285, 73, ".");
    SetTextColor(dc, RGB(125, 6, 150));
    DrawLabel(dc, 46, 109, "Enter a number (4-digit limit) :");
    DrawLabel(dc, 46, 179, "Enter two numbers (4-digit limit) :");
    // Made afresh for each paint and released with it.
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
}

HBRUSH ColourPanelEdit(HDC dc)
{
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(228, 20, 5));
    // Nobody sets the DC brush's colour, so it stays white.
    return (HBRUSH)GetStockObject(DC_BRUSH);
}
