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
#define IDC_LIST_RESULTS 28
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

/* Results window: from the satellite module when one is present, like the
   settings dialog and the two small dialogs of its menu; its keys always
   from the program. */
#define IDD_RESULTS 3
#define IDR_RESULTS_MENU 3
#define IDR_RESULTS_CONTEXT 4
#define IDR_RESULTS_KEYS 3
#define IDC_RESULTS_FILE 1100
#define IDC_RESULTS_STATUS 1101
#define IDC_RESULTS_LIST 1102
#define IDC_RESULTS_UNREADABLE 1103
#define IDC_RESULTS_STOP 1104
/* The results window's commands, from its menus and keys; IDCANCEL ends it. */
#define IDM_OPEN 1200
#define IDM_OPEN_FOLDER 1201
#define IDM_COPY 1202
#define IDM_COPY_PATH 1203
#define IDM_SELECT_ALL 1204
#define IDM_SEARCH_AGAIN 1205
#define IDM_NEW_SEARCH 1206
#define IDM_EDITOR 1207
#define IDM_UNREADABLE 1208

/* The editor dialog: the command line that opens a hit. */
#define IDD_EDITOR 4
#define IDC_EDITOR_COMMAND 1300
#define IDC_EDITOR_BROWSE 1301

/* The files a search could not read. */
#define IDD_UNREADABLE 5
#define IDC_UNREADABLE_LIST 1310

/* Texts of a dialog run, in the string tables (Texts.rc, Texts.en.rc). */
#define IDS_PROBLEMS 200 /* + a PROBLEM_ number of engine/SearchRequest.h */
#define IDS_FAULT_OUT_OF_MEMORY 220
#define IDS_FAULT_PATTERN_TOO_LARGE 221
#define IDS_FAULT_CLASS_TOO_LARGE 222
#define IDS_FAULT_TRAILING_BACKSLASH 223
#define IDS_FAULT_WORD_BOUNDARY_IN_CLASS 224
#define IDS_FAULT_NO_BOUNDARY_IN_CLASS 225
#define IDS_FAULT_HEX_DIGITS 226
#define IDS_FAULT_BACK_REFERENCE 227
#define IDS_FAULT_UNKNOWN_ESCAPE 228
#define IDS_FAULT_MISSING_BRACKET 229
#define IDS_FAULT_ESCAPE_ENDS_RANGE 230
#define IDS_FAULT_RANGE_ORDER 231
#define IDS_FAULT_LOOK_AROUND 232
#define IDS_FAULT_UNSUPPORTED_GROUP 233
#define IDS_FAULT_NESTED_TOO_DEEPLY 234
#define IDS_FAULT_UNMATCHED_OPEN 235
#define IDS_FAULT_UNMATCHED_CLOSE 236
#define IDS_FAULT_NOTHING_TO_REPEAT 237
#define IDS_FAULT_COUNT_TOO_LARGE 238
#define IDS_FAULT_COUNT_ORDER 239
#define IDS_FAULT_NAMED_CLASS_ENDS_RANGE 240
#define IDS_FAULT_UNKNOWN_CLASS 241
#define IDS_REPORT_NOT_CREATED 250
#define IDS_REPORT_INCOMPLETE 251
#define IDS_REPORT_INCOMPLETE_CUT 252
#define IDS_REPORT_ON_DESKTOP 253
#define IDS_REPORT_IN_FILE 254
#define IDS_REPORT_ON_OUTPUT 255
#define IDS_RESULTS_CAPTION 260
#define IDS_COLUMN_FILE 261
#define IDS_COLUMN_LINE 262
#define IDS_COLUMN_COLUMN 263
#define IDS_COLUMN_TEXT 264
#define IDS_RESULTS_SEARCHING 265
#define IDS_RESULTS_DONE 266
#define IDS_RESULTS_NONE 267
#define IDS_RESULTS_STOPPED 268
#define IDS_RESULTS_BINARY 269
#define IDS_RESULTS_SAVED 270
#define IDS_RESULTS_NOTHING 271
#define IDS_RESULTS_FULL 272
#define IDS_RESULTS_UNREADABLE 273
#define IDS_UNREADABLE_SEPARATOR 274
#define IDS_EDITOR_FILTER 280
#define IDS_EDITOR_FAILED 281
#define IDS_FOLDER_FAILED 282
#define IDS_FOLDER_UNLISTED 283
