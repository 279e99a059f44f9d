// Resource identifiers of the Windows program. The resource compiler reads only the
// defines; the command numbers are the shell's CommandId values (MainWindow.cpp checks
// them). Buttons carry the number of the command they give.
#pragma once

#define IDR_MAINFRAME 128 // icon and accelerator table
#define IDD_ABOUTBOX 100
#define IDD_FILEFORMAT 102
#define IDD_PYROLA_DIALOG 129
#define IDD_SERIALIZATION 203
#define IDR_MAINMENU 202
#define IDR_EXTRAMENU 210
#define IDR_MANIFEST 1

// Main dialog controls.
#define IDC_LOG 1022
#define IDC_STATUS 1023
#define IDC_DEVICE 1024
#define IDC_MEMORY 1025
#define IDC_DEVICE_INFO 2002

// File Format dialog: the first format's button; each further format takes the next id.
#define IDC_FORMAT_GROUP 1031
#define IDC_FORMAT_FIRST 1032

// About box.
#define IDC_ABOUT_WEB 1090
#define IDC_ABOUT_MAIL 1091
#define IDC_ABOUT_USAGE 1092
#define IDC_ABOUT_VERSION 1093
#define IDC_ABOUT_FRAME 1094

// Serialization dialog (SerializationDialog.cpp checks them against the form's ids).
#define IDC_SER_NEW 1060
#define IDC_SER_OPEN 1061
#define IDC_SER_SAVE 1062
#define IDC_SER_CURRENT 1063
#define IDC_SER_READ 1064
#define IDC_SER_WRITE 1065
#define IDC_SER_INC 1066
#define IDC_SER_ADDRESS 1067
#define IDC_SER_IN_MEMORY 1068
#define IDC_SER_DEC 1069
#define IDC_SER_NUMBER 1070
#define IDC_SER_SIZE 1071
#define IDC_SER_CONFIG_FILE 1072
#define IDC_SER_PLACE_AS 1073
#define IDC_SER_NUMBER_CHECK 1074
#define IDC_SER_ADDRESS_CHECK 1075

// Commands (menu items, buttons, keys).
#define IDM_EXIT 2
#define IDM_PROGRAM 1000
#define IDM_READ 1001
#define IDM_VERIFY 1002
#define IDM_ERASE 1003
#define IDM_AUTO 1004
#define IDM_CANCEL 1005
#define IDM_BLANK_CHECK 1006
#define IDM_RESET 1007
#define IDM_READ_DS18B20 1008
#define IDM_DUMP_DEVICE_ID 1009
#define IDM_DUMP_RAM 1010
#define IDM_DUMP_BSL 1011
#define IDM_SETUP 1039
#define IDM_SERIALIZATION 1076
#define IDM_CREATE_RANDOM_FILE 32784
#define IDM_RELOAD_FILE 32789
#define IDM_OPEN 57601
#define IDM_SAVE 57603
#define IDM_RECENT_FIRST 57616
#define IDM_RECENT_LAST 57631
#define IDM_COPY 57634
#define IDM_CUT 57635
#define IDM_PASTE 57637
#define IDM_UNDO 57643
#define IDM_ABOUT 57664
