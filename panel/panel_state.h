// The one program-wide record of the panel: every control and picture handle,
// the connection, the chosen operation and the window drag. Zero at start,
// touched only by the user-interface thread.
#pragma once

#include <windows.h>

struct PanelRecord {
    // The sixteen permanent controls, made when the main window is created.
    HWND NumberEdit;
    HWND FirstOperandEdit;
    HWND SecondOperandEdit;
    HWND CounterDisplay;
    HWND AutoCounterWholeDisplay;
    HWND AutoCounterTenthsDisplay;
    HWND SwitchButton;
    HWND SendNumberButton;
    HWND SendResultButton;
    HWND CloseButton;
    HWND MinimizeButton;
    HWND AboutButton;
    HWND OperationGroupBox;
    HWND AddRadio;
    HWND SubtractRadio;
    HWND MultiplyRadio;

    // Exist only while the connection is on; the handles stay after destruction
    // and are overwritten at the next switch-on.
    HWND SaveButton;
    HWND EraseButton;
    HWND ResetButton;

    // Each picture is loaded the first time it is needed and then kept, so
    // switch cycles, resets and About paints never pile up GDI objects.
    HBITMAP SwitchOffBitmap;
    HBITMAP SwitchOnBitmap;
    HBITMAP SendNumberBitmap;
    HBITMAP SendResultBitmap;
    HBITMAP CloseBitmap;
    HBITMAP MinimizeBitmap;
    HBITMAP AboutButtonBitmap;
    HBITMAP OperationGroupBitmap;
    HBITMAP SaveBitmap;
    HBITMAP EraseBitmap;
    HBITMAP ResetBitmap;
    HBITMAP AboutPictureBitmap;

    int ConnectionState;    // 0 off, 1 on
    int SelectedOperation;  // 0 none, 1 add, 2 subtract, 3 multiply
    int LastSendResult;     // 1 or 0: the last number or result transmission

    struct {
        bool Dragging;
        POINT DragStartCursor;     // screen coordinates at the press
        POINT DragStartWindowPos;  // window's top-left at the press
    } DragState;
};

extern PanelRecord PanelState;
