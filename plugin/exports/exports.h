// The functions the host calls, by the names it looks up.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "plugin/host_records.h"

extern "C" {
BOOL __stdcall Initialize(int hostVersion, const char* hostString, IDispatch* messenger);
void __stdcall Uninitialize();
int __stdcall Configure();
BOOL __stdcall PublishInfo(char* pluginName, tunelark::HostCommandTable* table, int* tagCount);
BOOL __stdcall ParseTag(void*, void*, void*);
BOOL __stdcall ParseCommand(const char* command, const char* parameter,
                            tunelark::HostCallContext* context, char* result);
BOOL __stdcall ReceiveNotify(const char* text, void* unused, tunelark::HostCallContext* context,
                             char* result);
}
