// What the number send, the result send and the three operation radio buttons do.
#pragma once

// Control identifiers of AddRadio, SubtractRadio and MultiplyRadio.
const int AddRadioId = 3000;
const int SubtractRadioId = 3001;
const int MultiplyRadioId = 3002;

// Whoever started the program can tell a failed send from a user's close, which exits 0.
const int FailedSendExitCode = 3;

// Records the operation of a radio button's identifier; other identifiers change nothing.
void SelectOperation(int id);

// Sends the text of NumberEdit; a failed send ends the program with FailedSendExitCode.
void SendNumber();

// Sends the chosen operation's result on the two operands; a failed send ends
// the program with FailedSendExitCode.
void SendResult();
