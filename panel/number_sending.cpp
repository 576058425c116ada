// The lower half of the panel: a typed number, or the result of two typed
// operands, goes to the device as text.
#include "number_sending.h"

#include "device_protocol.h"
#include "panel_state.h"
#include "serial_port.h"

#include <windows.h>

void SelectOperation(int id)
{
    switch (id) {
    case AddRadioId:      PanelState.SelectedOperation = AddOperation; break;
    case SubtractRadioId: PanelState.SelectedOperation = SubtractOperation; break;
    case MultiplyRadioId: PanelState.SelectedOperation = MultiplyOperation; break;
    }
}

// The edit's text in a zero-filled buffer of its length plus one; *length
// gets that length. The caller frees the buffer with GlobalFree.
static char *ReadEditText(HWND edit, int *length)
{
    *length = GetWindowTextLengthA(edit);
    char *text = (char *)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, SIZE_T(*length) + 1);
    if (text != NULL)
        GetWindowTextA(edit, text, *length + 1);
    return text;
}

// The device never hears a number we failed to send, so the program stops
// rather than let the user believe it went out.
static void RecordSend(bool sent)
{
    PanelState.LastSendResult = sent ? 1 : 0;
    if (PanelState.LastSendResult == 0)
        PostQuitMessage(FailedSendExitCode);
}

void SendNumber()
{
    int length = 0;
    char *text = ReadEditText(PanelState.NumberEdit, &length);
    // Without a buffer there is nothing to send; that is not the device's failure.
    if (text == NULL)
        return;
    RecordSend(SerialWrite(text, length));
    GlobalFree(text);
}

void SendResult()
{
    int firstLength = 0, secondLength = 0;
    char *first = ReadEditText(PanelState.FirstOperandEdit, &firstLength);
    char *second = ReadEditText(PanelState.SecondOperandEdit, &secondLength);
    if (first != NULL && second != NULL) {
        char message[ResultBufferSize];
        int count = BuildResultMessage(PanelState.SelectedOperation, first, firstLength,
                                       second, secondLength, message);
        // With no operation chosen nothing goes out and the last result stands.
        if (count >= 0)
            RecordSend(SerialWrite(message, count));
    }
    if (first != NULL)
        GlobalFree(first);
    if (second != NULL)
        GlobalFree(second);
}
