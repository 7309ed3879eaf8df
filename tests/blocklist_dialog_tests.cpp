// The Blocklist dialog running modally, driven from a helper thread, on the real
// registry; and once through the DLL, to the notifications it decides.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "base/module.h"
#include "blocklist/blocklist.h"
#include "dialog_driver.h"
#include "plugin_fixture.h"
#include "ui/blocklist_dialog.h"
#include "ui/resource_ids.h"

using namespace tunelark;
using namespace testsupport;
using Rows = std::vector<std::string>;
using Ids = std::vector<int>;

namespace {

constexpr int Close = IDOK, Enable = IDC_BLOCKLIST_ENABLE, List = IDC_BLOCKLIST_CONTACTS,
              Allow = IDC_BLOCKLIST_ALLOW, Deny = IDC_BLOCKLIST_DENY, Name = IDC_BLOCKLIST_NAME,
              Add = IDC_BLOCKLIST_ADD, Remove = IDC_BLOCKLIST_REMOVE, Others = IDC_BLOCKLIST_ALLOW_OTHERS,
              Ask = IDC_BLOCKLIST_ASK_FIRST;
const char* const Caption = "Tunelark Blocklist";

Ids EnabledControls(HWND d) {
    Ids on;
    for (int id : {Close, Enable, List, Allow, Deny, Name, Add, Remove, Others, Ask})
        if (IsWindowEnabled(GetDlgItem(d, id))) on.push_back(id);
    return on;
}
bool Ticked(HWND d, int id) { return IsDlgButtonChecked(d, id) == BST_CHECKED; }
Rows Items(HWND d) { return ListRows(GetDlgItem(d, List), 1); }
Rows SelectedItems(HWND d) {
    Rows selected;
    const Rows items = Items(d);
    for (int i = -1; (i = static_cast<int>(SendDlgItemMessageA(d, List, LVM_GETNEXTITEM, i, LVNI_SELECTED))) >= 0;)
        selected.push_back(items.at(i));
    return selected;
}
void Click(HWND d, int id) { SendDlgItemMessageA(d, id, BM_CLICK, 0, 0); }
void Type(HWND d, const std::string& text) { SetDlgItemTextA(d, Name, text.c_str()); }
int Stored(const char* contact) { return BlocklistValue(contact).present ? AsNumber(BlocklistValue(contact)) : -1; }
int Option(const char* name) { return AsNumber(ReadRaw(HKEY_CURRENT_USER, OptionsRoot, name)); }

class BlocklistDialogTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        module_ = LoadLibraryA("Tunelark.dll");
        ASSERT_NE(module_, nullptr);
        SetThisModule(module_), LoadPluginIcons(IDI_LARGE, IDI_SMALL);
    }
    void TearDown() override {
        ClearBlocklist(), DestroyPluginIcons(), SetThisModule(nullptr);
        if (module_) FreeLibrary(module_);
        RegistryTest::TearDown();
    }
    void Seed(std::initializer_list<std::pair<const char*, int>> contacts) {
        for (const auto& [name, flag] : contacts) WriteNumber(HKEY_CURRENT_USER, BlocklistRoot, name, flag);
        LoadBlocklist(BlocklistKeyPath);
    }
    // Opens the dialog, runs `inside` on it, closes it with "&Close" and checks it ended so.
    void InDialog(const std::function<void(HWND)>& inside) {
        DialogDriver driver(Caption, [&](HWND d) { inside(d), ClickButton(d, Close); });
        EXPECT_EQ(ShowBlocklistDialog(nullptr), 1);
        driver.Join();
        EXPECT_TRUE(driver.closedByAction());
        EXPECT_EQ(BlocklistOpenCount(), 0);
    }
    HMODULE module_ = nullptr;
};

TEST_F(BlocklistDialogTest, OptionBlocklistEnabledDecidesWhatIsUsableAndTheBoxSwitchesIt) {
    const Ids everything = {Close, Enable, List, Allow, Deny, Name, Remove, Others, Ask};  // "bob" selected: no Add
    struct Case { int stored; bool ticked; Ids atOpen; Ids afterClick; int storedAfter; };
    for (const Case& c : {Case{0, false, {Close, Enable}, {Close, Enable, List, Name, Others, Ask}, 1},
                         Case{1, true, everything, {Close, Enable}, 0},
                         Case{2, false, everything, everything, 1}}) {
        ClearBlocklist(), ErasePluginKeys();
        Seed({{"bob", 1}});
        SetOptionValue("BlocklistEnabled", c.stored);
        Ids atOpen, afterClick;
        bool ticked = false;
        std::string name;
        InDialog([&](HWND d) {
            atOpen = EnabledControls(d), ticked = Ticked(d, Enable);
            Click(d, Enable);
            afterClick = EnabledControls(d), name = DialogItemText(d, Name);
        });
        EXPECT_EQ(atOpen, c.atOpen) << c.stored;
        EXPECT_EQ(ticked, c.ticked) << c.stored;
        EXPECT_EQ(afterClick, c.afterClick) << c.stored;
        EXPECT_EQ(name, c.storedAfter == 0 ? "" : "bob") << c.stored;
        EXPECT_EQ(Option("BlocklistEnabled"), c.storedAfter) << c.stored;
        EXPECT_EQ(BlocklistLockedControls(c.stored).empty(), c.stored != 0);
    }
}

TEST_F(BlocklistDialogTest, OpensSortedWithTheFirstSelectedItsFlagAndTheOptionBoxesShown) {
    struct Case { int firstFlag; int allowOthers; int ask; bool allowTicked; bool othersTicked; bool askTicked; };
    for (const Case c : {Case{1, 1, 0, true, true, false}, Case{0, 0, 1, false, false, true},
                         Case{2, 2, 1, false, false, true}}) {
        ClearBlocklist(), ErasePluginKeys();
        Seed({{"mike", 1}, {"Bob", 0}, {"alice", c.firstFlag}});
        SetOptionValue("AllowNotOnList", c.allowOthers), SetOptionValue("AskOnFirstSend", c.ask);
        Rows items, selected;
        std::string name;
        bool allow = false, deny = false, others = false, ask = false;
        InDialog([&](HWND d) {
            items = Items(d), selected = SelectedItems(d), name = DialogItemText(d, Name);
            allow = Ticked(d, Allow), deny = Ticked(d, Deny), others = Ticked(d, Others), ask = Ticked(d, Ask);
        });
        EXPECT_EQ(items, (Rows{"alice", "Bob", "mike"}));
        EXPECT_EQ(selected, Rows{"alice"});
        EXPECT_EQ(name, "alice");
        EXPECT_EQ(allow, c.allowTicked) << c.firstFlag;
        EXPECT_EQ(deny, !c.allowTicked) << c.firstFlag;
        EXPECT_EQ(others, c.othersTicked) << c.allowOthers;
        EXPECT_EQ(ask, c.askTicked) << c.ask;
    }
}

TEST_F(BlocklistDialogTest, TypedNamesSelectTheirItemIgnoringCaseOrOfferAdd) {
    struct Case { std::string typed; std::string shown; Rows selected; Ids buttons; };
    const Case cases[] = {{"BOB", "bob", {"Ann", "bob"}, {Remove}}, {"carol", "carol", {"Ann"}, {Add}},
                          {"", "", {"Ann"}, {}}};
    for (const Case& c : cases) {
        ClearBlocklist(), ErasePluginKeys();
        Seed({{"Ann", 0}, {"bob", 1}});
        std::string shown;
        Rows selected;
        Ids buttons;
        InDialog([&](HWND d) {
            Type(d, c.typed);
            shown = DialogItemText(d, Name), selected = SelectedItems(d);
            for (int id : {Add, Remove})
                if (IsWindowEnabled(GetDlgItem(d, id))) buttons.push_back(id);
        });
        EXPECT_EQ(shown, c.shown) << c.typed;
        EXPECT_EQ(selected, c.selected) << c.typed;
        EXPECT_EQ(buttons, c.buttons) << c.typed;
    }
}

TEST_F(BlocklistDialogTest, AddStoresTheFlagOfAllowNotOnListAndShowsIt) {
    for (int allowOthers : {0, 1}) {
        ClearBlocklist(), ErasePluginKeys();
        Seed({{"zed", 1}});
        SetOptionValue("AllowNotOnList", allowOthers);
        Rows items, selected;
        bool allow = false, deny = false;
        InDialog([&](HWND d) {
            Type(d, "carol"), Click(d, Add);
            items = Items(d), selected = SelectedItems(d), allow = Ticked(d, Allow), deny = Ticked(d, Deny);
        });
        EXPECT_EQ(Stored("carol"), allowOthers);
        EXPECT_NE(FindBlocklistEntry("carol"), nullptr);
        EXPECT_EQ(items, (Rows{"carol", "zed"}));
        EXPECT_EQ(selected, Rows{"carol"});
        EXPECT_EQ(allow, allowOthers == 1);
        EXPECT_EQ(deny, allowOthers == 0);
    }
}

TEST_F(BlocklistDialogTest, RadioButtonsRemoveAndOptionBoxesWriteAtOnce) {
    Seed({{"ann", 0}, {"bob", 1}});
    SetOptionValue("AllowNotOnList", 1), SetOptionValue("AskOnFirstSend", 0);
    int afterAllow = -1, afterDeny = -1;
    Rows items;
    InDialog([&](HWND d) {
        Click(d, Allow), afterAllow = Stored("ann");
        Click(d, Deny), afterDeny = Stored("ann");
        Type(d, "bob"), Click(d, Remove);
        items = Items(d);
        Click(d, Others), Click(d, Ask);
    });
    EXPECT_EQ(afterAllow, 1);
    EXPECT_EQ(afterDeny, 0);
    EXPECT_EQ(items, Rows{"ann"});
    EXPECT_EQ(Stored("bob"), -1);
    EXPECT_EQ(FindBlocklistEntry("bob"), nullptr);
    EXPECT_EQ(FirstBlocklistEntry()->Name(), "ann");
    EXPECT_EQ(Option("AllowNotOnList"), 0);
    EXPECT_EQ(Option("AskOnFirstSend"), 1);
}

TEST_F(BlocklistDialogTest, ContactsRemovedBehindTheDialogLeaveItOrAskForNoObject) {
    Seed({{"ann", 0}, {"bob", 1}});
    Rows items;
    Ids enabled;
    std::string box = "none";
    InDialog([&](HWND d) {
        UnlinkEntry(FindBlocklistEntry("ann"));  // selected already: its radio buttons are live
        PostMessageA(GetDlgItem(d, Allow), BM_CLICK, 0, 0);
        for (int i = 0; i < 100 && box == "none"; ++i, Sleep(20)) {
            if (HWND b = FindOwnDialog("")) box = MessageBoxText(b), ClickButton(b, IDOK), WaitUntilGone(b, 1000);
        }
        UnlinkEntry(FindBlocklistEntry("bob"));
        Type(d, "bob");
        items = Items(d), enabled = EnabledControls(d);
    });
    EXPECT_EQ(box, "no object");
    EXPECT_EQ(Stored("ann"), 0) << "nothing written for a contact without an entry";
    EXPECT_EQ(items, Rows{"ann"});
    EXPECT_EQ(std::count(enabled.begin(), enabled.end(), Allow) + std::count(enabled.begin(), enabled.end(), Deny), 0);
}

TEST_F(BlocklistDialogTest, ASecondBlocklistDialogEndsAtOnceWith2) {
    int second = 0, countInside = 0;
    InDialog([&](HWND) { second = ShowBlocklistDialog(nullptr), countInside = BlocklistOpenCount(); });
    EXPECT_EQ(second, 2);
    EXPECT_EQ(countInside, 1);
    DialogDriver esc(Caption, [](HWND d) { PostMessageA(d, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(ShowBlocklistDialog(nullptr), 2);
}

// Through the DLL: the dialog's decisions are what the next notifications obey.
class BlocklistDialogPluginTest : public LoadedPluginTest {};

TEST_F(BlocklistDialogPluginTest, ContactsBlockedOrAllowedInTheDialogDecideTheNextNotification) {
    if (GetACP() != 1252) GTEST_SKIP();
    StoreSound("Farm", "300", "moo", "C:\\no such dir\\moo.wav", "says moo");
    conversation->people = {{L"Ann", L"ann@example.com"}, {L"Bob", L"bob@example.com"}};
    SetOptionValue("AskOnFirstSend", 0), SetOptionValue("AllowNotOnList", 1);
    Start();
    DialogDriver driver(Caption, [](HWND d) {
        Type(d, "ann@example.com"), Click(d, Add), Click(d, Deny);
        Click(d, Others);  // contacts added from now on are blocked
        Type(d, "bob@example.com"), Click(d, Add), Click(d, Allow);
        ClickButton(d, Close);
    });
    EXPECT_EQ(host.ParseCommand("/xTLBlocklist", "", conversation.get()).handled, 1);
    driver.Join();
    EXPECT_TRUE(driver.closedByAction());
    const auto played = [&](const char* sender) {
        const size_t before = toasts.toasts.size();
        host.ReceiveNotify(std::string("TL\x01\x02\x2F") + "hello", conversation.get(), sender);
        return toasts.toasts.size() == before + 1 &&
               toasts.toasts.back().text == "This sound has not been correctly configured. The file could not be found";
    };
    EXPECT_TRUE(played("Bob")) << "allowed while people not on the list are not";
    SetOptionValue("AllowNotOnList", 1);
    EXPECT_FALSE(played("Ann")) << "blocked while people not on the list are allowed";
    EXPECT_TRUE(played("Nobody")) << "the fallback itself plays";
}

}  // namespace
