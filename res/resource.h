// The setup program's resources: their ids, the string table and dialog template 102. The
// resource script (windres runs the C preprocessor over it) and the C++ include this one file,
// so each id, text and control is written once. The lists are X-macros: a user defines what one
// entry becomes and expands the list with it.
#pragma once

#define IDS_TITLE 1
#define IDS_EXTRACT_NO_DATA 3
#define IDS_EXTRACT_CREATE_OUTPUT 4
#define IDS_EXTRACT_INTERNAL 5
#define IDS_EXTRACT_OK 6
#define IDS_EXTRACT_CORRUPT 7
#define IDS_EXTRACT_WRITE 8
#define IDS_EXTRACT_INCOMPLETE 9

// The program's file and product version, as the version resource carries it. (The version of
// the product it installs is set at release time: res/ProductVersion.h.in.)
#define ZIL_FILE_VERSION 1, 0, 0, 0

// The product and its publisher, as the version resource names them and Apps & features lists
// them.
#define ZIL_PRODUCT_NAME "ZIL"
#define ZIL_PUBLISHER "ZIL"

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

// clang-format off

// The string table, X(id, text). The texts stand as the program has always shown them.
#define ZIL_STRING_TABLE(X) \
    X(IDS_TITLE, "ZIL Setup Program.") \
    X(IDS_EXTRACT_NO_DATA, "Archive contins no data. Extraction cannot continue.") \
    X(IDS_EXTRACT_CREATE_OUTPUT, "Extractor Experienced Problems Creating Output File. Please ensure that you have enough space on the target drive.") \
    X(IDS_EXTRACT_INTERNAL, "Internal Error") \
    X(IDS_EXTRACT_OK, "%d files extracted successfully") \
    X(IDS_EXTRACT_CORRUPT, "Archive data is damaged. Extraction cannot continue.") \
    X(IDS_EXTRACT_WRITE, "Extractor could not read the archive or write an output file. Please ensure that you have enough space on the target drive.") \
    X(IDS_EXTRACT_INCOMPLETE, "Archive lacks ZIL_Service.exe. Setup cannot install from it.")

// Dialog template 102: its place and size in dialog units, caption, font and window style.
// Window styles are Windows macros that only the resource script expands, so the C++ that
// includes this file needs no Windows header.
#define ZIL_SETUP_DIALOG_WIDTH 271
#define ZIL_SETUP_DIALOG_HEIGHT 118
#define ZIL_SETUP_DIALOG_CAPTION "ZIL Setup Program"
#define ZIL_SETUP_DIALOG_FONT_SIZE 10
#define ZIL_SETUP_DIALOG_FONT_FACE "MS Sans Serif"
#define ZIL_SETUP_DIALOG_STYLE \
    DS_MODALFRAME | DS_3DLOOK | DS_CENTER | DS_SETFONT | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU

// The template's controls in tab order. The current-file label (1008) is as wide as the bar
// below it, so that it shows "Extracting " and the whole of a name of some 30 characters.
//
//   X(id, window class, text, style, border, visibility, x, y, width, height)
// text is a string, or ZIL_ICON_TEXT(icon id) for an icon static (the template names the icon
// where other controls have their text). border is BORDER (WS_BORDER, drawn outside the client
// area) or NO_BORDER; visibility SHOWN or HIDDEN (NOT WS_VISIBLE); style is the rest of the
// window style, 0 for none. The user defines ZIL_ICON_TEXT and what BORDER, NO_BORDER, SHOWN
// and HIDDEN stand for (the list's parameters are pasted onto the user's own prefix).
#define ZIL_SETUP_DIALOG_CONTROLS(X) \
    X(IDC_INSTALL, "button", "Install", BS_DEFPUSHBUTTON | WS_TABSTOP, NO_BORDER, SHOWN, 219, 33, 45, 14) \
    X(IDC_UNINSTALL, "button", "&Uninstall", BS_PUSHBUTTON | WS_TABSTOP, NO_BORDER, SHOWN, 219, 60, 45, 14) \
    X(IDC_STATUS_EDIT, "edit", "", ES_MULTILINE | ES_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, BORDER, HIDDEN, 19, 79, 197, 12) \
    X(IDC_CLOSE_PRODUCT, "button", "Close ZIL", BS_PUSHBUTTON | WS_TABSTOP, NO_BORDER, HIDDEN, 65, 92, 45, 14) \
    X(IDC_EXIT, "button", "E&xit", BS_PUSHBUTTON | WS_TABSTOP, NO_BORDER, HIDDEN, 113, 92, 45, 14) \
    X(-1, "static", ZIL_ICON_TEXT(IDR_MAINFRAME), SS_ICON, NO_BORDER, SHOWN, 7, 5, 20, 20) \
    X(IDC_TITLE, "static", "ZIL Setup Program", SS_CENTER | WS_GROUP, NO_BORDER, SHOWN, 37, 14, 175, 10) \
    X(IDC_TOTAL_PROGRESS, "msctls_progress32", "Progress1", 0, BORDER, SHOWN, 17, 34, 194, 14) \
    X(IDC_CURRENT_PROGRESS, "msctls_progress32", "Progress1", 0, BORDER, SHOWN, 17, 61, 193, 14) \
    X(IDC_TOTAL_LABEL, "static", "Total Progress", SS_LEFT | WS_GROUP, NO_BORDER, SHOWN, 16, 24, 46, 8) \
    X(IDC_CURRENT_LABEL, "static", "Current File", SS_LEFT | WS_GROUP, NO_BORDER, SHOWN, 18, 51, 193, 8) \
    X(IDC_TEST, "button", "&Test", BS_DEFPUSHBUTTON | WS_TABSTOP, NO_BORDER, HIDDEN, 162, 92, 45, 14) \
    X(IDC_LAUNCH, "button", "Launch ZIL", BS_PUSHBUTTON | WS_TABSTOP, NO_BORDER, HIDDEN, 19, 92, 45, 14)

// clang-format on
