// About and Help, the two dialogs that only show text.
#include "ui/about_dialog.h"

#include "base/module.h"
#include "base/unique_handle.h"
#include "ui/dialog.h"
#include "ui/resource_ids.h"

namespace tunelark {

namespace {

constexpr DWORD MsgCredits = 0x40000001;
constexpr DWORD MsgHelpText = 0x40000005;

struct LocalFreeText {
    void operator()(char* text) const { LocalFree(text); }
};

// A message-table text as it stands, inserts and all.
std::string ModuleText(DWORD id) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS |
                                            FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                        ThisModule(), id, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    UniqueHandle<char*, LocalFreeText> owned(text);
    return length && text ? std::string(text, length) : std::string();
}

int ShowTextDialog(int templateId, HWND owner, int editId, DWORD messageId, const char* version) {
    ui::DialogHandlers handlers;
    handlers.isHelp = templateId == IDD_HELP;
    handlers.init = [=](HWND dialog) {
        ui::SetItemText(dialog, editId, ModuleText(messageId));
        if (version) ui::SetItemText(dialog, IDC_VERSION_TEXT, version);
        return TRUE;
    };
    const INT_PTR result = ui::RunModalDialog(templateId, owner, handlers);
    return static_cast<int>(result);
}

}  // namespace

int ShowAbout(HWND owner) {
    return ShowTextDialog(IDD_ABOUT, owner, IDC_CREDITS, MsgCredits, PluginVersionText);
}

int ShowHelp(HWND owner) {
    return ShowTextDialog(IDD_HELP, owner, IDC_HELP_TEXT, MsgHelpText, nullptr);
}

}  // namespace tunelark
