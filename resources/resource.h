// Identifiers shared by kivo.rc and the code. The numbers are part of the executable.
// Plain #defines only: windres preprocesses this file too.
#pragma once

// Bitmaps. 108 belongs to the About dialog, so the bitmaps skip it.
#define IDB_SKIN                102
#define IDB_CLOSE_BUTTON        103
#define IDB_MINIMIZE_BUTTON     104
#define IDB_ABOUT_BUTTON        105
#define IDB_SWITCH_ON           106
#define IDB_SWITCH_OFF          107
#define IDB_SAVE_BUTTON         109
#define IDB_ERASE_BUTTON        110
#define IDB_RESET_BUTTON        111
#define IDB_SEND_NUMBER_BUTTON  112
#define IDB_SEND_RESULT_BUTTON  113
#define IDB_OPERATION_GROUP     114
#define IDB_ABOUT_LOGO          115

// Dialogs.
#define IDD_ABOUT               108

// Icons: group 120 holds images 1 to 6.
#define IDI_APP                 120

// Cursors: group 105 (a different type from bitmap 105) holds image 7.
#define IDC_TEXT_BEAM           105
#define IDC_TEXT_BEAM_IMAGE     7
