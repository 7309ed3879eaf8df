// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDI_LARGE 103
#define IDI_SMALL 122
#define IDB_BANNER 1000
#define IDB_HELP_BANNER 102

#define IDD_FIRST_SEND_PROMPT 139

// About and Help
#define IDD_ABOUT 101
#define IDD_HELP 114
#define IDC_VERSION_TEXT 1001
#define IDC_CREDITS 1035
#define IDC_HELP_TEXT 1017

#define IDC_ALLOW 1047
#define IDC_DENY 1048
#define IDC_REMEMBER_ANSWER 1053
