#include "base/module.h"

#include <pthread.h>

#include "base/unique_handle.h"

namespace __gnu_cxx {
void __freeres() noexcept;  // libstdc++'s own: frees its exception reserve
}

namespace tunelark {

namespace {

HMODULE thisModule = nullptr;

struct DestroyIconHandle {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
using IconHandle = UniqueHandle<HICON, DestroyIconHandle>;

IconHandle largeIcon;
IconHandle smallIcon;

struct LocalFreeText {
    void operator()(char* text) const { LocalFree(text); }
};

}  // namespace

HMODULE ThisModule() {
    return thisModule;
}

void SetThisModule(HMODULE module) {
    thisModule = module;
}

void LoadPluginIcons(int largeId, int smallId) {
    largeIcon.reset(LoadIconA(thisModule, MAKEINTRESOURCEA(largeId)));
    smallIcon.reset(static_cast<HICON>(
        LoadImageA(thisModule, MAKEINTRESOURCEA(smallId), IMAGE_ICON, 16, 16, LR_LOADTRANSPARENT)));
}

void DestroyPluginIcons() {
    largeIcon.reset();
    smallIcon.reset();
}

HICON LargeIcon() {
    return largeIcon.get();
}

HICON SmallIcon() {
    return smallIcon.get();
}

std::string FormatModuleMessage(DWORD id, const std::vector<MessageInsert>& inserts) {
    std::vector<DWORD_PTR> arguments;
    for (const MessageInsert& insert : inserts) arguments.push_back(insert.value);
    // A message may name more inserts than it is given; they read as empty texts, never
    // as whatever lies beyond the array.
    while (arguments.size() < 99) arguments.push_back(reinterpret_cast<DWORD_PTR>(""));
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        thisModule, id, 0, reinterpret_cast<char*>(&text), 0,
        reinterpret_cast<va_list*>(arguments.data()));
    UniqueHandle<char*, LocalFreeText> owned(text);
    return length && text ? std::string(text, length) : std::string();
}

std::string SystemErrorText(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<char*>(&text), 0, nullptr);
    UniqueHandle<char*, LocalFreeText> owned(text);
    std::string said = length && text ? std::string(text, length) : std::string();
    while (!said.empty() && (said.back() == '\r' || said.back() == '\n' || said.back() == ' ')) said.pop_back();
    const std::string code = "error " + std::to_string(error);
    return said.empty() ? code : said + " (" + code + ")";
}

void ReleaseRuntimeResources() {
    __gnu_cxx::__freeres();
    if (HANDLE event = pthread_getevent()) CloseHandle(event);
    if (HANDLE thread = pthread_gethandle(pthread_self())) CloseHandle(thread);
}

}  // namespace tunelark
