#include "ui/first_send_prompt.h"

#include "ui/dialog.h"
#include "ui/resource_ids.h"

namespace tunelark {

namespace {

void Answer(HWND dialog, int answer) {
    EndDialog(dialog, answer | (ui::IsChecked(dialog, IDC_REMEMBER_ANSWER) ? PromptRemember : 0));
}

}  // namespace

int ShowFirstSendPrompt() {
    ui::DialogHandlers handlers;
    handlers.command = [](HWND dialog, int id, int) {
        if (id != IDC_ALLOW && id != IDC_DENY) return false;
        Answer(dialog, id == IDC_ALLOW ? PromptAllow : PromptDeny);
        return true;
    };
    // Esc and the close box count as Deny: the safe answer.
    handlers.cancel = [](HWND dialog) { Answer(dialog, PromptDeny); };
    const INT_PTR result = ui::RunModalDialog(IDD_FIRST_SEND_PROMPT, nullptr, handlers);
    return result > 0 ? static_cast<int>(result) : PromptNotShown;
}

}  // namespace tunelark
