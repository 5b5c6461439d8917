/* Identifiers of the resources and controls, shared by the code and the
   resource scripts. */
#pragma once

#define IDI_APP 1

/* Settings dialog: comes from the satellite module when one is present. */
#define IDD_SETTINGS 1
#define IDC_MATCH_CASE 20
#define IDC_SKIP_COMMENTS 21
#define IDC_REGULAR_EXPRESSION 22
#define IDC_STRINGS_ONLY 23
#define IDC_AMP_VARIANTS 24
#define IDC_SUBFOLDERS 25
#define IDC_UNICODE_FILES 26
#define IDC_WHOLE_WORD 27
#define IDC_SKIP_BINARY 29
#define IDC_SKIP_IGNORED 30
#define IDC_SEARCH_TEXT 1000
#define IDC_FILE_TYPES 1001
#define IDC_FOLDER 1002
#define IDC_SEARCH 1005
#define IDC_BROWSE 1008

/* Progress dialog: always from the program's own module. */
#define IDD_PROGRESS 2
#define IDC_CURRENT_FILE 10
#define IDC_STOP 11
