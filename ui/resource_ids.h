// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDI_LARGE 103
#define IDI_SMALL 122
#define IDB_BANNER 1000
