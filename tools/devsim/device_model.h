// The counting device as the simulator plays it: what each message means and
// which byte, if any, it answers.
//
// The model, kept small on purpose:
//   "5"      counter-request       answered with the Counter byte
//   "1"      auto-counter-request  when the message before it was "5": answered
//                                  with the Auto Counter byte
//   "1"      wake                  otherwise: the device wakes, no answer
//   "99991"  switch-off            the device sleeps again
//   "88881"  reset                 forgets a pending "5", sleeps, readings back
//                                  to the start values
//   "77771"  save                  memory := the last number
//   "33331"  erase                 memory forgotten
//   digits, maybe a leading '-', maybe followed by zero bytes (as a result
//   message is): number, remembered as the last number
//   anything else: unknown, ignored
// Transfers without bytes (the program's reads) leave the model alone.
#pragma once

#include <string>

struct DeviceModel {
    int startCounter = 42;
    int startAutoCounter = 123;
    int counter = 42;
    int autoCounter = 123;
    bool awake = false;
    bool counterAsked = false;     // the last message was "5"
    std::string lastNumber;
    bool hasMemory = false;
    std::string memory;
};

struct DeviceReply {
    const char *meaning;
    int answer;            // -1: none
    const char *reason;    // "counter" or "auto-counter" when answering
};

// Back to the state after switching on the simulator, start readings included.
void ResetDeviceModel(DeviceModel &model);

DeviceReply DeviceReceive(DeviceModel &model, const std::string &bytes);

// The number inside a number message: the bytes before the first zero byte.
bool ParseNumberMessage(const std::string &bytes, std::string &number);
