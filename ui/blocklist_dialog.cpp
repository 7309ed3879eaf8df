#include "ui/blocklist_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <memory>
#include <string>

#include "blocklist/blocklist.h"
#include "settings/settings_store.h"
#include "ui/dialog.h"
#include "ui/resource_ids.h"

namespace tunelark {

namespace {

// Names are read as a fixed 1024-byte buffer would take them.
constexpr size_t NameLimit = 1024;

// Atomic: a second dialog may be attempted from another thread of the host.
std::atomic<int> OpenCount{0};

constexpr int AllContactControls[] = {IDC_BLOCKLIST_CONTACTS, IDC_BLOCKLIST_ALLOW,  IDC_BLOCKLIST_DENY,
                                      IDC_BLOCKLIST_NAME,     IDC_BLOCKLIST_ADD,    IDC_BLOCKLIST_REMOVE,
                                      IDC_BLOCKLIST_ALLOW_OTHERS, IDC_BLOCKLIST_ASK_FIRST};

// Counts the dialog from its initialisation to its end, refused instance included,
// so the count is back where it was whichever way the dialog ends.
struct BlocklistState {
    bool counted = false;
    ~BlocklistState() {
        if (counted) --OpenCount;
    }
};

HWND Contacts(HWND dialog) { return GetDlgItem(dialog, IDC_BLOCKLIST_CONTACTS); }

void Enable(HWND dialog, const std::vector<int>& ids, bool enabled) {
    for (int id : ids) EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
}

std::string ContactText(HWND dialog, int item) {
    char text[NameLimit] = {};
    LVITEMA lv{};
    lv.iSubItem = 0;
    lv.pszText = text;
    lv.cchTextMax = static_cast<int>(sizeof text);
    SendMessageA(Contacts(dialog), LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&lv));
    text[sizeof text - 1] = '\0';
    return text;
}

void SetContactState(HWND dialog, int item, UINT state, UINT mask) {
    LVITEMA lv{};
    lv.state = state;
    lv.stateMask = mask;
    SendMessageA(Contacts(dialog), LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&lv));
}

// Selects as a click would, with the selection mark, which the radio buttons and
// "Remove" act on.
void SelectContact(HWND dialog, int item, UINT extra = 0) {
    SendMessageA(Contacts(dialog), LVM_SETSELECTIONMARK, 0, item);
    SetContactState(dialog, item, LVIS_SELECTED | extra, LVIS_SELECTED | extra);
}

int InsertContact(HWND list, const std::string& name) {
    LVITEMA lv{};
    lv.mask = LVIF_TEXT;
    lv.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    lv.pszText = const_cast<char*>(name.c_str());
    return static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&lv)));
}

// The sorted list looks for each new name's place from its first item on, so names that
// come in descending order each find theirs at once; in blocklist order 5000 names took
// seconds. They are ordered by their case-blind sort keys, made once per name (comparing
// pairs of names through the system costs more than the list's own work): names the list
// counts as equal are equal here too and keep their blocklist order, so the list ends up
// as it would with the names in that order.
std::vector<std::string> ContactsInInsertionOrder() {
    struct Contact {
        std::string key, name;
    };
    std::vector<Contact> contacts;
    const LCID locale = GetThreadLocale();
    constexpr DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
    for (const BlocklistEntry* entry = FirstBlocklistEntry(); entry; entry = entry->Next()) {
        Contact c{std::string(), entry->Name()};
        c.key.resize(static_cast<size_t>(LCMapStringA(locale, flags, c.name.c_str(), -1, nullptr, 0)));
        LCMapStringA(locale, flags, c.name.c_str(), -1, c.key.data(), static_cast<int>(c.key.size()));
        contacts.push_back(std::move(c));
    }
    std::stable_sort(contacts.begin(), contacts.end(), [](const Contact& a, const Contact& b) { return a.key > b.key; });
    std::vector<std::string> names;
    for (Contact& c : contacts) names.push_back(std::move(c.name));
    return names;
}

void ShowFlag(HWND dialog, const BlocklistEntry& entry) {
    Enable(dialog, {IDC_BLOCKLIST_ALLOW, IDC_BLOCKLIST_DENY}, true);
    const bool allowed = entry.IsAllowed() == 1;
    ui::SetChecked(dialog, IDC_BLOCKLIST_ALLOW, allowed);
    ui::SetChecked(dialog, IDC_BLOCKLIST_DENY, !allowed);
}

BOOL Initialise(HWND dialog, BlocklistState& state) {
    state.counted = true;
    if (++OpenCount > 1) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    ui::SetChecked(dialog, IDC_BLOCKLIST_ENABLE, Settings.GetOption(BlocklistEnabled) == 1);
    ui::SetChecked(dialog, IDC_BLOCKLIST_ALLOW_OTHERS, Settings.GetOption(AllowNotOnList) == 1);
    ui::SetChecked(dialog, IDC_BLOCKLIST_ASK_FIRST, Settings.GetOption(AskOnFirstSend) == 1);
    SendDlgItemMessageA(dialog, IDC_BLOCKLIST_NAME, EM_LIMITTEXT, NameLimit - 1, 0);
    HWND list = Contacts(dialog);
    {
        ui::RedrawPause pause(list);
        const std::vector<std::string> names = ContactsInInsertionOrder();
        SendMessageA(list, LVM_SETITEMCOUNT, names.size(), 0);
        for (const std::string& name : names) InsertContact(list, name);
    }
    if (SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) > 0) {
        // Taking the states from every item is a pass over the whole list; fresh items
        // have none to take.
        if (SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0) > 0 ||
            SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED) >= 0)
            SetContactState(dialog, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        SelectContact(dialog, 0, LVIS_FOCUSED);
    }
    Enable(dialog, BlocklistLockedControls(Settings.GetOption(BlocklistEnabled)), false);
    return TRUE;
}

LRESULT OnContactChanged(HWND dialog, const NMLISTVIEW& change) {
    if (!(change.uChanged & LVIF_STATE)) return 0;
    if ((change.uNewState & LVIS_SELECTED) && change.iItem >= 0) {
        const std::string name = ContactText(dialog, change.iItem);
        ui::SetItemText(dialog, IDC_BLOCKLIST_NAME, name);
        if (const BlocklistEntry* entry = FindBlocklistEntry(name)) {
            ShowFlag(dialog, *entry);
        } else {
            // Removed behind the dialog (a command, say): the list catches up.
            Enable(dialog, {IDC_BLOCKLIST_ALLOW, IDC_BLOCKLIST_DENY}, false);
            SendMessageA(Contacts(dialog), LVM_DELETEITEM, change.iItem, 0);
        }
    } else if (change.uOldState & LVIS_SELECTED) {
        Enable(dialog, {IDC_BLOCKLIST_ALLOW, IDC_BLOCKLIST_DENY}, false);
        ui::SetItemText(dialog, IDC_BLOCKLIST_NAME, "");
    }
    return 0;
}

void OnNameChanged(HWND dialog) {
    const std::string name = ui::ItemText(dialog, IDC_BLOCKLIST_NAME, NameLimit);
    if (name.empty()) {
        Enable(dialog, {IDC_BLOCKLIST_ADD, IDC_BLOCKLIST_REMOVE}, false);
        return;
    }
    // The list view's search ignores case, so a name differing only in case counts as
    // present and cannot be added a second time here.
    LVFINDINFOA find{};
    find.flags = LVFI_STRING | LVFI_WRAP;
    find.psz = name.c_str();
    const int item = static_cast<int>(SendMessageA(Contacts(dialog), LVM_FINDITEMA, 0, reinterpret_cast<LPARAM>(&find)));
    if (item < 0) {
        Enable(dialog, {IDC_BLOCKLIST_ADD}, true);
        Enable(dialog, {IDC_BLOCKLIST_REMOVE}, false);
        return;
    }
    SelectContact(dialog, item);
    // The selection rewrote the edit (or emptied it for a contact gone behind the
    // dialog), and the change handling that raised has already set the buttons.
    if (ui::ItemText(dialog, IDC_BLOCKLIST_NAME, NameLimit) != name) return;
    Enable(dialog, {IDC_BLOCKLIST_ADD}, false);
    Enable(dialog, {IDC_BLOCKLIST_REMOVE}, true);
}

void AddTypedContact(HWND dialog) {
    const std::string name = ui::ItemText(dialog, IDC_BLOCKLIST_NAME, NameLimit);
    if (FindBlocklistEntry(name)) return;
    auto entry = std::make_unique<BlocklistEntry>();
    entry->SetName(name);
    AppendEntry(std::move(entry))->WriteAllowed(BlocklistKeyPath, Settings.GetOption(AllowNotOnList));
    SetContactState(dialog, -1, 0, LVIS_SELECTED);
    const int item = InsertContact(Contacts(dialog), name);
    if (item >= 0) SelectContact(dialog, item);
}

int MarkedContact(HWND dialog) {
    return static_cast<int>(SendMessageA(Contacts(dialog), LVM_GETSELECTIONMARK, 0, 0));
}

void SetMarkedFlag(HWND dialog, int flag) {
    const int item = MarkedContact(dialog);
    if (item < 0) {
        Enable(dialog, {IDC_BLOCKLIST_ALLOW, IDC_BLOCKLIST_DENY}, false);
        return;
    }
    if (const BlocklistEntry* entry = FindBlocklistEntry(ContactText(dialog, item))) entry->SetAllowed(flag);
    else MessageBoxA(nullptr, "no object", "", MB_OK);
}

void RemoveMarkedContact(HWND dialog) {
    const int item = MarkedContact(dialog);
    if (item < 0) return;
    BlocklistEntry* entry = FindBlocklistEntry(ContactText(dialog, item));
    SendMessageA(Contacts(dialog), LVM_DELETEITEM, item, 0);
    // Not left to the list's own notifications: a mark still on this position would
    // make the next click act on the contact that moved into it.
    SendMessageA(Contacts(dialog), LVM_SETSELECTIONMARK, 0, -1);
    Enable(dialog, {IDC_BLOCKLIST_ALLOW, IDC_BLOCKLIST_DENY}, false);
    ui::SetItemText(dialog, IDC_BLOCKLIST_NAME, "");
    if (!entry) return;
    entry->RemoveValue(BlocklistKeyPath);
    UnlinkEntry(entry);  // the entry handed back is released here
}

void OnEnableClicked(HWND dialog) {
    const bool ticked = ui::IsChecked(dialog, IDC_BLOCKLIST_ENABLE);
    if (ticked) {
        Enable(dialog, BlocklistUnlockedControls(), true);
    } else {
        Enable(dialog, BlocklistLockedControls(0), false);
        ui::SetItemText(dialog, IDC_BLOCKLIST_NAME, "");
    }
    Settings.SetOption(BlocklistEnabled, ticked ? 1 : 0);
}

bool OnCommand(HWND dialog, int id, int code) {
    switch (id) {
    case IDC_BLOCKLIST_NAME:
        if (code == EN_CHANGE) OnNameChanged(dialog);
        return true;
    case IDC_BLOCKLIST_ENABLE:
        if (code == BN_CLICKED) OnEnableClicked(dialog);
        return true;
    case IDC_BLOCKLIST_ADD:
        if (code == BN_CLICKED) AddTypedContact(dialog);
        return true;
    case IDC_BLOCKLIST_REMOVE:
        if (code == BN_CLICKED) RemoveMarkedContact(dialog);
        return true;
    case IDC_BLOCKLIST_ALLOW:
    case IDC_BLOCKLIST_DENY:
        if (code == BN_CLICKED) SetMarkedFlag(dialog, id == IDC_BLOCKLIST_ALLOW ? 1 : 0);
        return true;
    case IDC_BLOCKLIST_ALLOW_OTHERS:
    case IDC_BLOCKLIST_ASK_FIRST:
        if (code == BN_CLICKED)
            Settings.SetOption(id == IDC_BLOCKLIST_ALLOW_OTHERS ? AllowNotOnList : AskOnFirstSend,
                               ui::IsChecked(dialog, id) ? 1 : 0);
        return true;
    }
    return false;
}

}  // namespace

int BlocklistOpenCount() { return OpenCount; }

std::vector<int> BlocklistLockedControls(int blocklistEnabled) {
    if (blocklistEnabled != 0) return {};
    return std::vector<int>(std::begin(AllContactControls), std::end(AllContactControls));
}

std::vector<int> BlocklistUnlockedControls() {
    return {IDC_BLOCKLIST_CONTACTS, IDC_BLOCKLIST_NAME, IDC_BLOCKLIST_ALLOW_OTHERS, IDC_BLOCKLIST_ASK_FIRST};
}

int ShowBlocklistDialog(HWND owner) {
    BlocklistState state;
    ui::DialogHandlers handlers;
    handlers.init = [&state](HWND dialog) { return Initialise(dialog, state); };
    handlers.command = OnCommand;
    handlers.notify = [](HWND dialog, NMHDR* header) -> LRESULT {
        if (header->idFrom != IDC_BLOCKLIST_CONTACTS || header->code != LVN_ITEMCHANGED) return 0;
        return OnContactChanged(dialog, *reinterpret_cast<NMLISTVIEW*>(header));
    };
    return static_cast<int>(ui::RunModalDialog(IDD_BLOCKLIST, owner, handlers));
}

}  // namespace tunelark
