// Resource identifiers of the Windows program. The resource compiler reads only the
// defines; the command numbers are the shell's CommandId values (MainWindow.cpp checks
// them). Buttons carry the number of the command they give.
#pragma once

#define IDR_MAINFRAME 128 // icon and accelerator table
#define IDD_ABOUTBOX 100
#define IDD_FILEFORMAT 102
#define IDD_PYROLA_DIALOG 129
#define IDD_SETUP 201
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
// Below the buttons, for a load only: where a binary file's first byte goes.
#define IDC_FORMAT_BASE_LABEL 1080
#define IDC_FORMAT_BASE 1081

// About box.
#define IDC_ABOUT_WEB 1090
#define IDC_ABOUT_MAIL 1091
#define IDC_ABOUT_USAGE 1092
#define IDC_ABOUT_VERSION 1093
#define IDC_ABOUT_FRAME 1094

// Setup dialog (SetupDialog.cpp checks them against the form's ids); the group boxes have
// ids only so that their captions can come from the form's table too.
#define IDC_SETUP_ERASE_INFO 1030
#define IDC_SETUP_MULTIPLE_INSTANCES 1031
#define IDC_SETUP_BSL_PORT 1035
#define IDC_SETUP_BSL 1036
#define IDC_SETUP_FET_PORT 1037
#define IDC_SETUP_FET 1038
#define IDC_SETUP_RAW_PORT 1039
#define IDC_SETUP_RAW 1040
#define IDC_SETUP_ERASE 1041
#define IDC_SETUP_BLANK_CHECK 1042
#define IDC_SETUP_PROGRAM 1043
#define IDC_SETUP_VERIFY 1044
#define IDC_SETUP_BSL_PATCH 1045
#define IDC_SETUP_REMOVE_GAP 1047
#define IDC_SETUP_AUTODETECT 1048
#define IDC_SETUP_RELOAD_FILE 1052
#define IDC_SETUP_BSL_SPEED 1080
#define IDC_SETUP_BSL_RESET_INVERTED 1081
#define IDC_SETUP_BSL_TEST_INVERTED 1082
#define IDC_SETUP_BSL_SWAP_RESET_TEST 1083
#define IDC_SETUP_FET_NOTE 2000
#define IDC_SETUP_RAW_NOTE 2001
#define IDC_SETUP_BSL_SPEED_LABEL 2002
#define IDC_SETUP_ADAPTER_GROUP 2010
#define IDC_SETUP_AUTOPROGRAM_GROUP 2011
#define IDC_SETUP_OPTIONS_GROUP 2012
#define IDC_SETUP_ERASE_INFO_GROUP 2013

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
