// Resource and control ids, shared by the resource script and the program.
#pragma once

#define IDS_TITLE 1
#define IDS_EXTRACT_NO_DATA 3
#define IDS_EXTRACT_CREATE_OUTPUT 4
#define IDS_EXTRACT_INTERNAL 5
#define IDS_EXTRACT_OK 6
#define IDS_EXTRACT_CORRUPT 7
#define IDS_EXTRACT_WRITE 8

#define IDD_SETUP_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_INSTALL 1000
#define IDC_UNINSTALL 1001
#define IDC_STATUS_EDIT 1002
#define IDC_TOTAL_PROGRESS 1003
#define IDC_TEST 1004
#define IDC_CURRENT_PROGRESS 1005
#define IDC_CLOSE_PRODUCT 1006
#define IDC_TOTAL_LABEL 1007
#define IDC_CURRENT_LABEL 1008
#define IDC_TITLE 1009
#define IDC_LAUNCH 1010
#define IDC_EXIT 2
