// The kivo command's watch over COM11: the program waits for the device's
// answer as long as it takes, and under Wine nothing from outside can end
// that read, so the watch says when the device is silent, when it answers
// after all and when the adapter goes, and offers the user the way out.
#pragma once

#include "event_loop.h"

#include <string>
#include <sys/types.h>
#include <vector>

enum class WaitState {
    Idle,       // COM11 closed, or a transfer under way
    Silent,     // the user has been told the device does not answer
    Lost,       // the adapter went during the wait: the program cannot go on
};

struct Com11Watch {
    std::string link;          // COM11's link in the prefix
    std::string adapter;       // the adapter the user named; empty for the simulator
    bool dialogs = false;      // say it in a dialog too (zenity)
    bool closePanel = false;   // the user chose "Close the panel" in a dialog
    int inotifyFd = -1;
    int linkFolderWatch = -1;  // the link's folder: the link replaced or removed
    int nodeWatch = -1;        // where the link leads: the program's openings and closings
    int adapterFolderWatch = -1;   // the adapter node's folder: the node removed
    std::string adapterNode;   // the adapter node's name in that folder
    int timerFd = -1;          // the silence
    int openings = 0;          // the program's openings of COM11 not yet closed
    WaitState state = WaitState::Idle;
    pid_t dialog = -1;
    int dialogFd = -1;         // a pidfd: the dialog has ended
};

// The watch's exit status when the user chose to close the panel.
const int ClosePanelStatus = 3;

// Sets up the watches; false with the reason in error.
bool PrepareWatch(Com11Watch &watch, std::string &error);

// What the event loop watches for it.
void ListWatchSources(Com11Watch &watch, std::vector<EventSource> &sources);

// Closes a dialog still showing.
void StopWatch(Com11Watch &watch);
