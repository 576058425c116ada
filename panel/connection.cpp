// The upper half of the panel: switching the connection on and off, and the
// save, erase and reset commands, each after a question to the user, with
// the buttons that give them while the connection is on.
#include "connection.h"

#include "device_protocol.h"
#include "panel_controls.h"
#include "panel_refresh.h"
#include "panel_state.h"
#include "resource.h"
#include "serial_port.h"

// The texts are the product's own, runs of spaces included.
static const char EraseQuestion[] =
    "You Are Trying to ERASE the Memory of the system, Are you Sure?";
static const char EraseDone[] = "Memory ERASE Complete";
static const char SaveQuestion[] =
    "You Are Trying to SAVE the Memory of the system, Are you Sure?";
static const char SaveDone[] = "Memory SAVE Complete";
static const char ResetQuestion[] = "You are Trying to RESET the System, Are you Sure?";
static const char ResetDone[] = "System RESET Complete";
static const char SwitchOnQuestion[] =
    "You are Trying to SWITCH ON the Connection of the System,           "
    "Make sure that the system is ON THE SERIAL MODE, Continue?";
static const char SwitchOffQuestion[] =
    "You are Trying to SWITCH OFF the Connection of the System,             Are you Sure?";

// Questions default to their second button, No or Cancel.
static const UINT YesNoQuestion = MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2;
static const UINT OkCancelQuestion = MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2;

static int Ask(HWND window, const char *question, UINT flags)
{
    return MessageBoxA(window, question, "", flags);
}

static void Tell(HWND window, const char *notice)
{
    MessageBoxA(window, notice, "", MB_ICONINFORMATION);
}

// In the row of SwitchButton, made at each switch-on in this order and
// destroyed again at switch-off or reset.
static const ControlRow MaintenanceButtons[] = {
    {&PanelState.EraseButton, "BUTTON", "", PictureButtonStyle, 110, 45, 50, 18, 0,
     &PanelState.EraseBitmap, IDB_ERASE_BUTTON},
    {&PanelState.SaveButton, "BUTTON", "", PictureButtonStyle, 50, 45, 50, 18, 0,
     &PanelState.SaveBitmap, IDB_SAVE_BUTTON},
    {&PanelState.ResetButton, "BUTTON", "", PictureButtonStyle, 170, 45, 50, 18, 0,
     &PanelState.ResetBitmap, IDB_RESET_BUTTON},
};

static void CreateMaintenanceButtons(HWND window)
{
    CreateControls(window, MaintenanceButtons);
}

static bool SendCommand(const char *command)
{
    return SerialWrite(command, MaintenanceCommandLength);
}

static void ShowSwitchedOff()
{
    PanelState.ConnectionState = 0;
    SetButtonPicture(PanelState.SwitchButton, &PanelState.SwitchOffBitmap, IDB_SWITCH_OFF);
}

// The device answers a wake command only after a pause; the panel is busy
// meanwhile, but the start of the pause lets the window system finish
// showing the panel's new state.
static void RunSwitchOnExchange(HWND window)
{
    // The sends are not checked: a missing device shows as no reading.
    SerialWrite(WakeCommand, OneByteCommandLength);
    WaitShowingPanel(window, SwitchOnWaitMilliseconds);
    SerialWrite(CounterRequest, OneByteCommandLength);
    char text[ReadingTextSize];
    FormatReading(SerialReadByte(), text);
    SetWindowTextA(PanelState.CounterDisplay, text);
    SerialWrite(WakeCommand, OneByteCommandLength);
    char tenths[ReadingTextSize];
    FormatAutoCounter(SerialReadByte(), text, tenths);
    SetWindowTextA(PanelState.AutoCounterWholeDisplay, text);
    SetWindowTextA(PanelState.AutoCounterTenthsDisplay, tenths);
}

// The panel changes, and is shown, before any traffic, so it shows the new
// state even when the device never answers.
static void SwitchOn(HWND window)
{
    if (Ask(window, SwitchOnQuestion, OkCancelQuestion) == IDCANCEL)
        return;
    CreateMaintenanceButtons(window);
    PanelState.ConnectionState = 1;
    SetButtonPicture(PanelState.SwitchButton, &PanelState.SwitchOnBitmap, IDB_SWITCH_ON);
    PaintPanelNow(window);
    RunSwitchOnExchange(window);
}

static void SwitchOff(HWND window)
{
    if (Ask(window, SwitchOffQuestion, YesNoQuestion) == IDNO)
        return;
    ShowSwitchedOff();
    DestroyWindow(PanelState.ResetButton);
    DestroyWindow(PanelState.SaveButton);
    DestroyWindow(PanelState.EraseButton);
    ShowPanelChanges(window);
    // Nothing the device could say changes the panel now.
    SendCommand(SwitchOffCommand);
}

void OnSwitchButton(HWND window)
{
    if (PanelState.ConnectionState == 0)
        SwitchOn(window);
    else
        SwitchOff(window);
}

// Erase and save report completion only when the command went out.
static void RunMemoryCommand(HWND window, const char *question, const char *command, const char *done)
{
    if (Ask(window, question, YesNoQuestion) == IDNO)
        return;
    if (SendCommand(command))
        Tell(window, done);
}

void OnEraseButton(HWND window)
{
    RunMemoryCommand(window, EraseQuestion, EraseMemoryCommand, EraseDone);
}

void OnSaveButton(HWND window)
{
    RunMemoryCommand(window, SaveQuestion, SaveMemoryCommand, SaveDone);
}

void OnResetButton(HWND window)
{
    if (Ask(window, ResetQuestion, YesNoQuestion) == IDNO)
        return;
    // A reset the device missed is not noticed; the panel starts over either way.
    SendCommand(ResetCommand);
    SetWindowTextA(PanelState.NumberEdit, "");
    SetWindowTextA(PanelState.FirstOperandEdit, "1st");
    SetWindowTextA(PanelState.SecondOperandEdit, "2nd");
    ShowSwitchedOff();
    DestroyWindow(PanelState.SaveButton);
    DestroyWindow(PanelState.EraseButton);
    DestroyWindow(PanelState.ResetButton);
    Tell(window, ResetDone);
}
