// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDI_LARGE 103
#define IDI_SMALL 122
#define IDB_BANNER 1000

#define IDD_FIRST_SEND_PROMPT 139

#define IDC_ALLOW 1047
#define IDC_DENY 1048
#define IDC_REMEMBER_ANSWER 1053
