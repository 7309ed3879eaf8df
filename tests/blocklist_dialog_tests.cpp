// The Blocklist dialog running modally, driven from a helper thread, on the real
// registry; and once through the DLL, to the notifications it decides.
#include "base/module.h"
#include "blocklist/blocklist.h"
#include "dialog_fixture.h"
#include "dialog_driver.h"
#include "plugin_fixture.h"
#include "ui/blocklist_dialog.h"
#include "ui/resource_ids.h"

using namespace tunelark;
using namespace testsupport;

namespace {

// Each control by a letter: which are enabled, and which boxes are ticked.
const std::pair<int, char> Controls[] = {{IDOK, 'C'}, {IDC_BLOCKLIST_ENABLE, 'E'}, {IDC_BLOCKLIST_CONTACTS, 'L'},
    {IDC_BLOCKLIST_ALLOW, 'A'}, {IDC_BLOCKLIST_DENY, 'D'}, {IDC_BLOCKLIST_NAME, 'N'}, {IDC_BLOCKLIST_ADD, '+'},
    {IDC_BLOCKLIST_REMOVE, '-'}, {IDC_BLOCKLIST_ALLOW_OTHERS, 'O'}, {IDC_BLOCKLIST_ASK_FIRST, 'Q'}};

const char* const OptionNames[] = {"BlocklistEnabled", "AllowNotOnList", "AskOnFirstSend"};

void Click(HWND d, int id) { SendDlgItemMessageA(d, id, BM_CLICK, 0, 0); }
void Type(HWND d, const char* text) { SetDlgItemTextA(d, IDC_BLOCKLIST_NAME, text); }

// "items [selected] 'edit' on:enabled ticked:boxes", as the user sees the dialog.
std::string Seen(HWND d) {
    std::string items, selected, on, ticked;
    HWND list = GetDlgItem(d, IDC_BLOCKLIST_CONTACTS);
    for (int i = 0; const std::string& row : ListRows(list, 1)) {
        items += (i ? "," : "") + row;
        if (SendMessageA(list, LVM_GETITEMSTATE, i++, LVIS_SELECTED)) selected += (selected.empty() ? "" : ",") + row;
    }
    for (const auto& [id, letter] : Controls)
        on += IsWindowEnabled(GetDlgItem(d, id)) ? std::string(1, letter) : "", ticked += IsDlgButtonChecked(d, id) ? std::string(1, letter) : "";
    return items + " [" + selected + "] '" + DialogItemText(d, IDC_BLOCKLIST_NAME) + "' on:" + on + " ticked:" + ticked;
}

// The registry and the list in memory: "ann=0 bob=1 | ann,bob" and options 205, 206, 207.
std::string Stored() {
    std::string text, memory;
    for (const char* name : {"alice", "ann", "bob", "carol", "mike", "zed"})
        if (BlocklistValue(name).present) text += std::string(name) + "=" + std::to_string(AsNumber(BlocklistValue(name))) + " ";
    for (const BlocklistEntry* e = FirstBlocklistEntry(); e; e = e->Next()) memory += (memory.empty() ? "" : ",") + e->Name();
    for (const char* option : OptionNames) memory += " " + std::to_string(AsNumber(ReadRaw(HKEY_CURRENT_USER, OptionsRoot, option)));
    return text + "| " + memory;
}

// Answers the "no object" box that a click on a radio button opens, by its text.
std::string AnswerBox(HWND d, int radio) {
    PostMessageA(GetDlgItem(d, radio), BM_CLICK, 0, 0);
    HWND box = FindOwnDialog("");
    for (int i = 0; i < 100 && !box; ++i) Sleep(20), box = FindOwnDialog("");
    const std::string text = box ? " box:" + MessageBoxText(box) : " no box";
    return ClickButton(box, IDOK), WaitUntilGone(box, 1000), text;
}

// Windows' list view tells nothing of the selection a deleted item takes with it (Wine's
// does): Remove clicked with those notices kept from the dialog, as on Windows.
WNDPROC dialogProc = nullptr;
LRESULT CALLBACK WithoutItemChanges(HWND d, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_NOTIFY && reinterpret_cast<NMHDR*>(l)->code == LVN_ITEMCHANGED) return 0;
    return CallWindowProcA(dialogProc, d, m, w, l);
}
void ClickRemoveAsOnWindows(HWND d) {
    dialogProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(d, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WithoutItemChanges)));
    Click(d, IDC_BLOCKLIST_REMOVE);
    SetWindowLongPtrA(d, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(dialogProc));
}

struct BlocklistDialogTest : testsupport::PluginDialogTest {
    void TearDown() override { ClearBlocklist(), PluginDialogTest::TearDown(); }
};

TEST_F(BlocklistDialogTest, ShowsAndEditsTheBlocklistAndItsOptions) {
    struct Case { std::vector<std::pair<const char*, int>> seeds; int options[3]; std::function<std::string(HWND)> act;
                  std::string seen; std::string stored; };
    const auto none = [](HWND) { return std::string(); };
    const auto typeAndAdd = [](HWND d) { return Type(d, "carol"), Click(d, IDC_BLOCKLIST_ADD), std::string(); };
    const Case cases[] = {
        {{{"bob", 1}}, {0, 1, 1}, none, "bob [bob] 'bob' on:CE ticked:AOQ", "bob=1 | bob 0 1 1"},
        {{{"bob", 1}}, {0, 1, 1}, [](HWND d) { return Click(d, IDC_BLOCKLIST_ENABLE), std::string(); },
         "bob [bob] 'bob' on:CELNOQ ticked:EAOQ", "bob=1 | bob 1 1 1"},
        {{{"bob", 1}}, {1, 0, 0}, [](HWND d) { return Click(d, IDC_BLOCKLIST_ENABLE), std::string(); },
         "bob [bob] '' on:CE ticked:A", "bob=1 | bob 0 0 0"},
        {{{"bob", 0}}, {2, 1, 0}, none, "bob [bob] 'bob' on:CELADN-OQ ticked:DO", "bob=0 | bob 2 1 0"},
        {{{"mike", 1}, {"Bob", 0}, {"alice", 0}}, {1, 0, 1}, none, "alice,Bob,mike [alice] 'alice' on:CELADN-OQ ticked:EDQ",
         "alice=0 bob=0 mike=1 | alice,Bob,mike 1 0 1"},
        {{{"Ann", 0}, {"bob", 1}}, {1, 1, 1}, [](HWND d) { return Type(d, "BOB"), std::string(); },
         "Ann,bob [Ann,bob] 'bob' on:CELADN-OQ ticked:EAOQ", "ann=0 bob=1 | Ann,bob 1 1 1"},
        {{{"Ann", 0}}, {1, 1, 1}, [](HWND d) { return Type(d, "carol"), std::string(); },
         "Ann [Ann] 'carol' on:CELADN+OQ ticked:EDOQ", "ann=0 | Ann 1 1 1"},
        {{{"zed", 1}}, {1, 0, 1}, typeAndAdd,
         "carol,zed [carol] 'carol' on:CELADN-OQ ticked:EDQ", "carol=0 zed=1 | zed,carol 1 0 1"},
        {{{"zed", 0}}, {1, 1, 1}, typeAndAdd,
         "carol,zed [carol] 'carol' on:CELADN-OQ ticked:EAOQ", "carol=1 zed=0 | zed,carol 1 1 1"},
        {{{"ann", 0}, {"bob", 1}}, {1, 1, 0}, [](HWND d) {
             Click(d, IDC_BLOCKLIST_ALLOW), Type(d, "bob"), ClickRemoveAsOnWindows(d);
             return Click(d, IDC_BLOCKLIST_ALLOW_OTHERS), Click(d, IDC_BLOCKLIST_ASK_FIRST), std::string(); },
         "ann [ann] '' on:CELNOQ ticked:EAQ", "ann=1 | ann 1 0 1"},
        {{{"ann", 0}, {"bob", 1}}, {1, 1, 1}, [](HWND d) {
             UnlinkEntry(FindBlocklistEntry("ann"));
             const std::string box = AnswerBox(d, IDC_BLOCKLIST_ALLOW);
             return UnlinkEntry(FindBlocklistEntry("bob")), Type(d, "bob"), box; },
         "ann [ann] '' on:CELNOQ ticked:EAOQ box:no object", "ann=0 bob=1 |  1 1 1"},
        {{}, {1, 1, 1}, [](HWND) { return " second:" + std::to_string(ShowBlocklistDialog(nullptr)) + std::to_string(BlocklistOpenCount()); },
         " [] '' on:CELNOQ ticked:EOQ second:21", "|  1 1 1"},
    };
    for (const Case& c : cases) {
        ClearBlocklist(), ErasePluginKeys();
        for (const auto& [name, flag] : c.seeds) WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, name, flag);
        LoadBlocklist(BlocklistKeyPath);
        for (int i = 0; i < 3; ++i) SetOptionValue(OptionNames[i], c.options[i]);
        std::string seen;
        DialogDriver driver("Tunelark Blocklist", [&](HWND d) { seen = c.act(d), seen = Seen(d) + seen, ClickButton(d, IDOK); });
        EXPECT_EQ(ShowBlocklistDialog(nullptr), 1);
        driver.Join();
        EXPECT_EQ(seen, c.seen) << c.stored;
        EXPECT_EQ(Stored(), c.stored) << c.seen;
        EXPECT_EQ(BlocklistOpenCount(), 0);
        EXPECT_EQ(BlocklistLockedControls(c.options[0]).size(), c.options[0] == 0 ? 8u : 0u);
    }
}

class BlocklistDialogPluginTest : public LoadedPluginTest {};

TEST_F(BlocklistDialogPluginTest, ContactsBlockedOrAllowedInTheBlocklistDialogDecideTheNextNotification) {
    if (GetACP() != 1252) GTEST_SKIP();
    StoreSound("Farm", "300", "moo", "C:\\no such dir\\moo.wav", "says moo");
    conversation->people = {{L"Ann", L"ann@example.com"}, {L"Bob", L"bob@example.com"}};
    SetOptionValue("AskOnFirstSend", 0), SetOptionValue("AllowNotOnList", 1), Start();
    DialogDriver driver("Tunelark Blocklist", [](HWND d) {  // Ann denied, people not on the list refused, Bob allowed
        Type(d, "ann@example.com"), Click(d, IDC_BLOCKLIST_ADD), Click(d, IDC_BLOCKLIST_DENY), Click(d, IDC_BLOCKLIST_ALLOW_OTHERS);
        Type(d, "bob@example.com"), Click(d, IDC_BLOCKLIST_ADD), Click(d, IDC_BLOCKLIST_ALLOW), ClickButton(d, IDOK);
    });
    EXPECT_EQ(host.ParseCommand("/xTLBlocklist", "", conversation.get()).handled, 1);
    driver.Join();
    std::string heard;  // a sound played shows itself by the missing-file toast
    for (const char* sender : {"Nobody", "Bob", "Ann", "Nobody"}) {
        if (heard.size() == 2) SetOptionValue("AllowNotOnList", 1);
        const size_t before = toasts.toasts.size();
        host.ReceiveNotify(std::string("TL\x01\x02\x2F") + "hello", conversation.get(), sender);
        heard += toasts.toasts.size() > before && toasts.toasts.back().text.find("could not be found") != std::string::npos ? "+" : "-";
    }
    EXPECT_EQ(heard, "-+-+");
}

}  // namespace
