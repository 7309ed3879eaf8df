#include "ui/config_panel.h"

#include <commdlg.h>
#include <windowsx.h>

#include <vector>

#include "base/module.h"
#include "base/unique_handle.h"
#include "playback/sound_play.h"
#include "settings/settings_store.h"
#include "sounddb/export.h"
#include "sounddb/library_change.h"
#include "sounddb/library_watch.h"
#include "sounddb/sound_records.h"
#include "sounddb/sound_registry.h"
#include "ui/dialog.h"
#include "ui/options_dialog.h"
#include "ui/pack_dialogs.h"
#include "ui/resource_ids.h"
#include "ui/sound_dialogs.h"

namespace tunelark {

namespace {

struct DestroyMenuHandle {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using MenuHandle = UniqueHandle<HMENU, DestroyMenuHandle>;

// Dialogs the panel opens, by template id.
constexpr int AddSoundDialog = 113;
constexpr int EditSoundDialog = 138;
constexpr int InstallSoundPackDialog = 123;
constexpr int AdvancedOptionsDialog = 127;
constexpr int NewSoundPackDialog = 140;
constexpr int PropertiesDialog = 136;

constexpr const char* SorryCaption = "Sorry...";
// Every stored text fits: the database reads its values through 1024-byte buffers.
constexpr int RowTextLimit = 1024;

int OpenCount = 0;
// How often the panel looks whether another program changed the library: it reads no
// registry to know (see TakeLibraryChanges).
constexpr UINT LibraryTimer = 1;
constexpr UINT LibraryLookMs = 250;
std::string Chosen;
SoundPack* AddTarget = nullptr;
Sound* EditTarget = nullptr;
SoundPack* PropsTarget = nullptr;
// The running panel's mirror of its tree, and the tree view's own procedure.
std::unique_ptr<PanelTree> Tree;
WNDPROC TreeDefaultProc = nullptr;

// Per panel: whether it passed the one-panel check, so that its destruction knows
// whether the tree is its own, and its list, found once: finding a control asks the
// window system each time, and a fill adds thousands of rows.
struct PanelState {
    bool accepted = false;
    HWND list = nullptr;
    unsigned loads = 0;  // the database loads it shows
};

// While the panel acts (a menu, a dialog or a question may be open), the database is not
// loaded again under it, by its timer or by the host's calls.
int Acting = 0;
struct PanelActing {
    PanelActing() { ++Acting; }
    ~PanelActing() { --Acting; }
    PanelActing(const PanelActing&) = delete;
    LibraryEditing editing;
};

// The editing dialogs are units of their own; one not in the plug-in yet opens nothing
// and answers "nothing changed". A dialog that would change the library opens only
// while the user may change it: otherwise the user is told before filling it in.
int OpenEditingDialog(int templateId, HWND owner) {
    switch (templateId) {
    case NewSoundPackDialog:
        if (ui::TellRefusal(owner, CheckLibraryChange(SoundsKeyPath, "Tunelark cannot create SoundPacks."))) return 0;
        return ShowNewSoundPack(owner);
    case PropertiesDialog:
        return ShowSoundPackProperties(owner, PropsTarget);
    case InstallSoundPackDialog:
        if (ui::TellRefusal(owner, CheckLibraryChange(SoundsKeyPath, "Tunelark cannot install SoundPacks."))) return 0;
        return ShowInstallSoundPack(owner);
    case AddSoundDialog:
        if (!AddTarget) return 0;
        if (ui::TellRefusal(owner, CheckLibraryChange(AddTarget->KeyPath(), "Tunelark cannot add sounds to " +
                                                                                DescribePack(AddTarget->Name()) + ".")))
            return 0;
        return ShowAddSound(*AddTarget, owner);
    case EditSoundDialog:
        if (!EditTarget) return 0;
        if (ui::TellRefusal(owner, CheckLibraryChange(EditTarget->KeyPath(),
                                                      "Tunelark cannot change " + DescribeSound(*EditTarget) + ".")))
            return 0;
        return ShowEditSound(*EditTarget, owner);
    case AdvancedOptionsDialog:
        return ShowAdvancedOptions(owner);
    }
    return 0;
}

HWND TreeOf(HWND panel) { return GetDlgItem(panel, IDC_PANEL_PACK_TREE); }
HWND ListOf(HWND panel) { return GetDlgItem(panel, IDC_PANEL_SOUND_LIST); }

void Sorry(HWND panel, const char* text) { MessageBoxA(panel, text, SorryCaption, MB_OK); }

// Rebuilt with one repaint at the end, however many rows go out and in, and shown from
// its top. A list emptied with drawing off keeps its scroll position for the rows that
// come next, so it is scrolled up first.
void RefreshSoundList(HWND panel) {
    HWND list = ListOf(panel);
    ListView_EnsureVisible(list, 0, FALSE);
    ui::RedrawPause pause(list);
    SendMessageA(panel, UM_CLEARSOUNDS, 0, 0);
    SendMessageA(panel, UM_FILLSOUNDS, 0, 0);
}

std::string ItemTextOf(HWND tree, HTREEITEM item) {
    char text[128] = {};
    TVITEMA tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = sizeof text;
    if (!TreeView_GetItem(tree, &tv)) return std::string();
    text[sizeof text - 1] = '\0';
    return text;
}

// A tree item as the rules see it. The text is the node's own, whole: item texts read
// back through the control would be cut at 127 characters.
struct TreeItem {
    HTREEITEM item = nullptr;
    bool isRoot = false;
    std::string text;
};

TreeItem DescribeItem(HWND tree, HTREEITEM item) {
    TreeItem described;
    described.item = item;
    if (!item) return described;
    const TreeNode* node = Tree ? Tree->FindNodeByHandle(item) : nullptr;
    described.isRoot = Tree && Tree->Root && node == Tree->Root.get();
    described.text = node ? node->Text : ItemTextOf(tree, item);
    return described;
}

TreeItem SelectedItem(HWND panel) {
    HWND tree = TreeOf(panel);
    return DescribeItem(tree, TreeView_GetSelection(tree));
}

SoundPack* PackOf(const TreeItem& item) {
    if (!item.item || item.isRoot) return nullptr;
    return FindSoundPackByName(item.text, MatchPackName);
}

std::string RowText(HWND list, int row) {
    if (row < 0) return std::string();
    char text[RowTextLimit] = {};
    ListView_GetItemText(list, row, 0, text, sizeof text);
    text[sizeof text - 1] = '\0';
    return text;
}

int SelectionMark(HWND panel) {
    return static_cast<int>(SendMessageA(ListOf(panel), LVM_GETSELECTIONMARK, 0, 0));
}

int ShowMenu(PanelMenu which, HWND control, POINT client, HWND owner) {
    if (which == PanelMenu::None) return 0;
    MenuHandle menus(LoadMenuA(ThisModule(), MAKEINTRESOURCEA(IDR_PANEL_MENUS)));
    if (!menus) return 0;
    HMENU popup = GetSubMenu(menus.get(), static_cast<int>(which));
    if (!popup) return 0;
    RECT frame{};
    GetWindowRect(control, &frame);
    const POINT screen{frame.left + client.x, frame.top + client.y};
    return ConfigPanelSeams().trackMenu(popup, screen, owner);
}

// Delete Sound, from the button or the list's menu. The Sound is looked up only after
// the question: the database may have been reloaded while it was asked. A row whose
// Sound is gone is stale, and the list is rebuilt instead. The key goes before the file:
// a Sound the registry keeps keeps its file.
void DeleteSoundOfRow(HWND panel, const std::string& rowText, HWND owner) {
    if (const Sound* sound = FindSound(rowText, MatchIndexText)) {
        if (ui::TellRefusal(owner, CheckLibraryChange(sound->KeyPath(), "Tunelark cannot delete " + DescribeSound(*sound) + ".",
                                                      DELETE)))
            return;
    }
    const int answer = ConfigPanelSeams().confirmDelete(owner);
    if (answer != DeleteWithFiles && answer != DeleteKeepFiles) return;
    if (Sound* sound = FindSound(rowText, MatchIndexText)) {
        // The file may be the one playing.
        if (answer == DeleteWithFiles) ReleaseCurrentStream();
        const std::string file = sound->Filename(), described = DescribeSound(*sound);
        Refusal refusal = RemoveSoundFromLibrary(sound);
        if (!refusal && answer == DeleteWithFiles) {
            refusal = DeleteSoundFile(file, described);
            if (refusal) refusal.done = "The sound itself was deleted.";
        }
        ui::TellRefusal(owner, refusal);
    }
    RefreshSoundList(panel);
}

// A pack's node, never the root, whatever the pack is called.
void RemovePackNode(const std::string& name) {
    if (!Tree || !Tree->Root) return;
    for (TreeNode* node = Tree->Root->FirstChild.get(); node; node = node->Next.get()) {
        if (node->Text == name) {
            Tree->RemoveNode(node);
            return;
        }
    }
}

void DeleteSoundPackOfNode(HWND panel, HWND tree, const std::string& nodeText) {
    if (const SoundPack* pack = FindSoundPackByName(nodeText, MatchPackName)) {
        if (ui::TellRefusal(tree, CheckLibraryChange(pack->KeyPath(), "Tunelark cannot delete " + DescribePack(pack->Name()) + ".",
                                                     DELETE)))
            return;
    }
    const int answer = ConfigPanelSeams().confirmDelete(tree);
    if (answer != DeleteWithFiles && answer != DeleteKeepFiles) return;
    SoundPack* pack = FindSoundPackByName(nodeText, MatchPackName);
    if (!pack) {
        RefreshSoundList(panel);
        return;
    }
    // The key before the files: a pack the registry keeps keeps its files. A pack that
    // stays keeps its node, holding what it has left.
    const std::string name = pack->Name();
    Refusal refusal = RemoveSoundPackFromLibrary(pack);
    if (!refusal) {
        RemovePackNode(name);
        if (answer == DeleteWithFiles) {
            refusal = DeleteSoundPackFiles(name);
            if (refusal) refusal.done = "The SoundPack itself was deleted.";
        }
    }
    ui::TellRefusal(tree, refusal);
    RefreshSoundList(panel);
}

void ExportSoundPackOfNode(HWND panel, HWND tree, const std::string& nodeText) {
    const std::string path = ConfigPanelSeams().exportPath(tree);
    if (path.empty()) return;
    const SoundPack* pack = FindSoundPackByName(nodeText, MatchPackName);
    if (!pack) return;
    const std::string problem = ExportSoundPack(*pack, path);
    if (!problem.empty()) Sorry(panel, problem.c_str());
}

void OnTreeRightButton(HWND tree, POINT point) {
    const PanelActing acting;
    HWND panel = GetParent(tree);
    TVHITTESTINFO hit{};
    hit.pt = point;
    HTREEITEM item = TreeView_HitTest(tree, &hit);
    // Anywhere on an item's row counts, beside its label or on its button too.
    if (!item) return;
    const TreeItem clicked = DescribeItem(tree, item);
    const PanelMenu menu = TreeMenuFor(true, clicked.isRoot, PackOf(clicked) != nullptr);
    if (menu == PanelMenu::None) return;
    TreeView_SelectItem(tree, item);
    const int id = ShowMenu(menu, tree, point, tree);
    // The menu ran a message loop of its own: the pack is found again by its name.
    switch (id) {
    case IDM_PANEL_PROPERTIES:
        if (SoundPack* pack = PackOf(clicked)) {
            PropsTarget = pack;
            OpenEditingDialog(PropertiesDialog, tree);
        }
        break;
    case IDM_PANEL_TREE_ADD_SOUND:
        if (SoundPack* pack = PackOf(clicked)) {
            AddTarget = pack;
            OpenEditingDialog(AddSoundDialog, tree);
            RefreshSoundList(panel);
        }
        break;
    case IDM_PANEL_EXPORT_SOUNDPACK:
        ExportSoundPackOfNode(panel, tree, clicked.text);
        break;
    case IDM_PANEL_NEW_SOUNDPACK:
        OpenEditingDialog(NewSoundPackDialog, tree);
        break;
    case IDM_PANEL_INSTALL_SOUNDPACK:
        OpenEditingDialog(InstallSoundPackDialog, tree);
        RefreshSoundList(panel);
        break;
    case IDM_PANEL_DELETE_SOUNDPACK:
        DeleteSoundPackOfNode(panel, tree, clicked.text);
        break;
    }
}

// The tree view never sees a right-button press: the panel shows its own menus instead.
LRESULT CALLBACK TreeProc(HWND tree, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_RBUTTONDOWN) return CallWindowProcA(TreeDefaultProc, tree, message, wParam, lParam);
    OnTreeRightButton(tree, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    return 1;
}

void InsertColumns(HWND list) {
    struct Column {
        const char* header;
        int width;
    };
    static const Column columns[] = {{"Index", 50}, {"Command", 100}, {"Filename", 100}, {"Default Message", 600}};
    int n = 0;
    for (const Column& c : columns) {
        std::string header = c.header;
        LVCOLUMNA column{};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = c.width;
        column.pszText = header.data();
        ListView_InsertColumn(list, n++, &column);
    }
}

void BuildTree(HWND panel) {
    if (!Tree) return;
    HWND tree = TreeOf(panel);
    bool any = false;
    {
        ui::RedrawPause pause(tree);
        Tree->SetRoot(std::make_unique<TreeNode>(RootNodeText));
        for (SoundPack* pack = FirstSoundPack(); pack; pack = pack->Next()) {
            SendMessageA(panel, UM_ADDPACKNODE, reinterpret_cast<WPARAM>(pack), reinterpret_cast<LPARAM>(RootNodeText));
            any = true;
        }
    }
    if (!any || !Tree->Root) return;
    TreeView_Expand(tree, Tree->Root->Handle, TVE_EXPAND);
    TreeView_SelectItem(tree, Tree->Root->Handle);
    InvalidateRect(tree, nullptr, TRUE);
}

void AddSoundRow(HWND list, const Sound* sound, int row) {
    if (!sound) return;
    std::string index = sound->IndexText();
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = index.data();
    const int inserted = ListView_InsertItem(list, &item);
    if (inserted < 0) return;
    std::string fields[] = {sound->Command(), sound->Filename(), sound->Message()};
    for (int column = 1; column <= 3; ++column)
        ListView_SetItemText(list, inserted, column, fields[column - 1].data());
}

void ClearSounds(HWND panel) {
    ui::RedrawPause pause(ListOf(panel));
    ListView_DeleteAllItems(ListOf(panel));
}

void FillSounds(HWND panel) {
    const TreeItem selected = SelectedItem(panel);
    const std::vector<const Sound*> sounds = SoundsForSelection(selected.item != nullptr, selected.isRoot, selected.text);
    HWND list = ListOf(panel);
    ui::RedrawPause pause(list);
    ListView_SetItemCount(list, ListView_GetItemCount(list) + static_cast<int>(sounds.size()));
    int row = 0;
    for (const Sound* sound : sounds) SendMessageA(panel, UM_ADDSOUNDROW, reinterpret_cast<WPARAM>(sound), row++);
}

void SelectRow(HWND list, int row) {
    const UINT both = LVIS_SELECTED | LVIS_FOCUSED;
    if ((ListView_GetItemState(list, row, both) & both) == both) return;
    SendMessageA(list, LVM_SETSELECTIONMARK, 0, row);
    ListView_SetItemState(list, row, both, both);
}

int RowAt(HWND list, POINT point) {
    LVHITTESTINFO hit{};
    hit.pt = point;
    const int row = static_cast<int>(SendMessageA(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    return row >= 0 && (hit.flags & LVHT_ONITEM) ? row : -1;
}

void OnListClick(HWND list, const NMITEMACTIVATE& click) {
    if (click.iItem >= 0) {
        SelectRow(list, click.iItem);
    } else if (click.iSubItem != 0) {
        const int row = RowAt(list, click.ptAction);
        if (row >= 0) SelectRow(list, row);
    }
}

void OnListRightClick(HWND panel, const NMITEMACTIVATE& click) {
    HWND list = ListOf(panel);
    const std::string rowText = RowText(list, click.iItem);
    const TreeItem selected = SelectedItem(panel);
    const bool isPack = PackOf(selected) != nullptr;
    const bool found = !rowText.empty() && FindSound(rowText, MatchIndexText) != nullptr;
    const int id = ShowMenu(ListMenuFor(isPack, found), list, click.ptAction, panel);
    switch (id) {
    case IDM_PANEL_LIST_ADD_SOUND:
        if (SoundPack* pack = PackOf(selected)) {
            AddTarget = pack;
            OpenEditingDialog(AddSoundDialog, panel);
            RefreshSoundList(panel);
        }
        break;
    case IDM_PANEL_EDIT_SOUND:
        if (Sound* sound = FindSound(rowText, MatchIndexText)) {
            EditTarget = sound;
            OpenEditingDialog(EditSoundDialog, panel);
            // Also after a refusal: the list shows what the registry holds.
            RefreshSoundList(panel);
        }
        break;
    case IDM_PANEL_DELETE_SOUND:
        DeleteSoundOfRow(panel, rowText, panel);
        break;
    }
}

// A double-click chooses the row's Sound. On no row, or on a row whose Sound is gone,
// nothing is chosen and the panel stays; a stale list is rebuilt.
void OnListActivate(HWND panel, const NMITEMACTIVATE& activation) {
    HWND list = ListOf(panel);
    const int row = RowAt(list, activation.ptAction);
    if (row < 0) return;
    const Sound* sound = FindSound(RowText(list, row), MatchIndexText);
    if (!sound) {
        RefreshSoundList(panel);
        return;
    }
    Chosen = sound->Command();
    EndDialog(panel, PanelSoundChosen);
}

LRESULT OnNotify(HWND panel, NMHDR* header) {
    // One clear for the whole list, not a notification for every row it deletes.
    if (header->idFrom == IDC_PANEL_SOUND_LIST && header->code == LVN_DELETEALLITEMS) return TRUE;
    const PanelActing acting;
    if (header->idFrom == IDC_PANEL_PACK_TREE &&
        (header->code == TVN_SELCHANGEDA || header->code == TVN_SELCHANGEDW)) {
        RefreshSoundList(panel);
    } else if (header->idFrom == IDC_PANEL_SOUND_LIST) {
        const auto& item = *reinterpret_cast<const NMITEMACTIVATE*>(header);
        if (header->code == NM_CLICK) OnListClick(header->hwndFrom, item);
        else if (header->code == NM_RCLICK) OnListRightClick(panel, item);
        else if (header->code == LVN_ITEMACTIVATE) OnListActivate(panel, item);
    }
    return 0;
}

void OnAddSound(HWND panel) {
    const TreeItem selected = SelectedItem(panel);
    if (selected.item && selected.isRoot) {
        Sorry(panel, "You cannot add a Sound to the All Sounds List. Please chose a SoundPack from the list");
        return;
    }
    SoundPack* pack = PackOf(selected);
    if (!pack) {
        Sorry(panel, "An internal error has occurred. This SoundPack could not be found");
        return;
    }
    AddTarget = pack;
    OpenEditingDialog(AddSoundDialog, panel);
    RefreshSoundList(panel);
}

bool OnCommand(HWND panel, int id, int code) {
    const PanelActing acting;
    const int mark = SelectionMark(panel);
    switch (id) {
    case IDC_PANEL_ADD_SOUND:
        OnAddSound(panel);
        return true;
    case IDC_PANEL_DELETE_SOUND:
        if (mark >= 0) DeleteSoundOfRow(panel, RowText(ListOf(panel), mark), panel);
        return true;
    case IDC_PANEL_ENABLE_SOUNDS:
        if (code == BN_CLICKED) Settings.SetOption(SoundsEnabled, ui::IsChecked(panel, id) ? 1 : 0);
        return true;
    case IDC_PANEL_EDIT_SOUND:
        if (mark >= 0) {
            Sound* sound = FindSound(RowText(ListOf(panel), mark), MatchIndexText);
            if (!sound) {
                Sorry(panel, "An internal error has occurred. This Sound could not be found");
            } else {
                EditTarget = sound;
                OpenEditingDialog(EditSoundDialog, panel);
                RefreshSoundList(panel);
            }
        }
        return true;
    case IDC_PANEL_PLAY:
        if (mark >= 0) {
            if (const Sound* sound = FindSound(RowText(ListOf(panel), mark), MatchIndexText)) Play(*sound, 1);
        }
        return true;
    case IDC_PANEL_SOUNDPACKS:
        // An install may have added Sounds to the pack on show.
        OpenEditingDialog(InstallSoundPackDialog, panel);
        RefreshSoundList(panel);
        return true;
    case IDC_PANEL_OPTIONS:
        OpenEditingDialog(AdvancedOptionsDialog, panel);
        return true;
    }
    return false;
}

// The database loaded again: the tree and the list rebuilt, showing the pack and the
// Sound they showed where these are still there.
void ShowReloadedDatabase(HWND panel) {
    const TreeItem shown = SelectedItem(panel);
    const std::string row = RowText(ListOf(panel), SelectionMark(panel));
    HWND tree = TreeOf(panel);
    {
        ui::RedrawPause pause(tree);
        Tree = std::make_unique<PanelTree>(tree);
        TreeView_DeleteAllItems(tree);
    }
    BuildTree(panel);
    if (shown.item && !shown.isRoot && Tree && Tree->Root) {
        for (TreeNode* node = Tree->Root->FirstChild.get(); node; node = node->Next.get())
            if (node->Text == shown.text) TreeView_SelectItem(tree, node->Handle);
    }
    RefreshSoundList(panel);
    LVFINDINFOA find{};
    find.flags = LVFI_STRING;
    find.psz = row.c_str();
    const int found = row.empty() ? -1 : static_cast<int>(SendMessageA(ListOf(panel), LVM_FINDITEMA, -1,
                                                                        reinterpret_cast<LPARAM>(&find)));
    if (found >= 0) SelectRow(ListOf(panel), found);
}

// The panel's own messages, and the end of the tree it owns.
bool OnMessage(HWND panel, UINT message, WPARAM wParam, LPARAM lParam, PanelState& state) {
    switch (message) {
    case WM_TIMER:
        if (wParam != LibraryTimer || Acting > 0) return false;
        // Another program's change, or one the host's last call took in.
        TakeLibraryChanges();
        if (LibraryLoadCount() != state.loads) {
            state.loads = LibraryLoadCount();
            const PanelActing acting;
            ShowReloadedDatabase(panel);
        }
        return true;
    case UM_CLEARSOUNDS:
        ClearSounds(panel);
        return true;
    case UM_BUILDTREE:
        BuildTree(panel);
        return true;
    case UM_FILLSOUNDS:
        FillSounds(panel);
        return true;
    case UM_ADDPACKNODE: {
        const auto* pack = reinterpret_cast<const SoundPack*>(wParam);
        const auto* parentText = reinterpret_cast<const char*>(lParam);
        if (Tree && pack && parentText) {
            if (TreeNode* parent = Tree->FindNode(parentText))
                Tree->AppendChild(parent, std::make_unique<TreeNode>(pack->Name()));
        }
        return true;
    }
    case UM_REMOVEPACKNODE:
        if (const auto* pack = reinterpret_cast<const SoundPack*>(lParam)) RemovePackNode(pack->Name());
        return true;
    case UM_ADDSOUNDROW:
        AddSoundRow(state.list, reinterpret_cast<const Sound*>(wParam), static_cast<int>(lParam));
        return true;
    case WM_DESTROY:
        KillTimer(panel, LibraryTimer);
        if (state.accepted) {
            if (TreeDefaultProc) {
                SetWindowLongPtrA(TreeOf(panel), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TreeDefaultProc));
                TreeDefaultProc = nullptr;
            }
            if (OpenCount == 1) Tree.reset();
        }
        --OpenCount;
        return false;
    }
    return false;
}

BOOL OnInit(HWND panel, PanelState& state) {
    state.list = ListOf(panel);
    if (++OpenCount > 1) {
        EndDialog(panel, PanelCancelled);
        return TRUE;
    }
    OpenCount = 1;
    state.accepted = true;
    HWND tree = TreeOf(panel);
    Tree = std::make_unique<PanelTree>(tree);
    ui::SetChecked(panel, IDC_PANEL_ENABLE_SOUNDS, Settings.GetOption(SoundsEnabled) == 1);
    SendMessageA(GetDlgItem(panel, IDC_PANEL_PLAY), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(SmallIcon()));
    InsertColumns(ListOf(panel));
    SendMessageA(panel, UM_BUILDTREE, 0, 0);
    state.loads = LibraryLoadCount();
    SetTimer(panel, LibraryTimer, LibraryLookMs, nullptr);
    TreeDefaultProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(tree, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TreeProc)));
    // A tree view that gains the focus with nothing selected selects its first item: an
    // empty database keeps the root unselected only while the focus is elsewhere.
    if (!TreeView_GetSelection(tree)) {
        SetFocus(GetDlgItem(panel, IDOK));
        return FALSE;
    }
    return TRUE;
}

std::string AskExportPath(HWND owner) {
    return ui::AskFileName(ui::FileDialog::Save, owner, "Ini Files (*.ini)\0*.ini\0", "ini");
}

PanelSeams DefaultSeams() {
    PanelSeams seams;
    seams.confirmDelete = ShowConfirmDelete;
    seams.trackMenu = [](HMENU popup, POINT screen, HWND owner) {
        return static_cast<int>(
            TrackPopupMenu(popup, TPM_RETURNCMD | TPM_BOTTOMALIGN, screen.x, screen.y, 0, owner, nullptr));
    };
    seams.exportPath = AskExportPath;
    return seams;
}

PanelSeams Seams = DefaultSeams();

void FindIn(TreeNode* node, const std::function<bool(const TreeNode&)>& match, TreeNode*& found) {
    for (; node && !found; node = node->Next.get()) {
        if (match(*node)) {
            found = node;
            return;
        }
        FindIn(node->FirstChild.get(), match, found);
    }
}

}  // namespace

int PanelOpenCount() { return OpenCount; }
const std::string& ChosenCommand() { return Chosen; }
SoundPack* AddSoundTarget() { return AddTarget; }
Sound* EditSoundTarget() { return EditTarget; }
SoundPack* PropertiesTarget() { return PropsTarget; }

PanelSeams& ConfigPanelSeams() { return Seams; }
void ResetConfigPanelSeams() { Seams = DefaultSeams(); }

int ShowConfigPanel(HWND owner) {
    PanelState state;
    ui::DialogHandlers handlers;
    handlers.init = [&state](HWND panel) { return OnInit(panel, state); };
    handlers.command = OnCommand;
    handlers.notify = OnNotify;
    handlers.message = [&state](HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
        return OnMessage(panel, message, wParam, lParam, state);
    };
    handlers.ok = [](HWND panel) { EndDialog(panel, PanelClosed); };
    handlers.cancel = [](HWND panel) { EndDialog(panel, PanelCancelled); };
    return static_cast<int>(ui::RunModalDialog(IDD_CONFIG_PANEL, owner, handlers));
}

int PanelTree::SetRoot(std::unique_ptr<TreeNode> node) {
    if (Root || !node) return -1;
    node->Owner = this;
    TVINSERTSTRUCTA insert{};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = node->Text.data();
    node->Handle = reinterpret_cast<HTREEITEM>(SendMessageA(Window, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    Root = std::move(node);
    return 1;
}

int PanelTree::AppendChild(TreeNode* parent, std::unique_ptr<TreeNode> node) {
    if (!parent) return -2;
    if (!node) return -1;
    TreeNode* last = parent->FirstChild.get();
    while (last && last->Next) last = last->Next.get();
    node->Owner = this;
    node->Parent = parent;
    node->Prev = last;
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent->Handle;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = node->Text.data();
    node->Handle = reinterpret_cast<HTREEITEM>(SendMessageA(Window, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    (last ? last->Next : parent->FirstChild) = std::move(node);
    return 1;
}

TreeNode* PanelTree::FindNode(const std::string& text) const {
    TreeNode* found = nullptr;
    FindIn(Root.get(), [&](const TreeNode& node) { return node.Text == text; }, found);
    return found;
}

TreeNode* PanelTree::FindNodeByHandle(HTREEITEM handle) const {
    TreeNode* found = nullptr;
    if (handle) FindIn(Root.get(), [&](const TreeNode& node) { return node.Handle == handle; }, found);
    return found;
}

void PanelTree::RemoveNode(TreeNode* node) {
    if (!node) return;
    if (node->Handle) SendMessageA(Window, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(node->Handle));
    std::unique_ptr<TreeNode>& slot = node->Prev ? node->Prev->Next : node->Parent ? node->Parent->FirstChild : Root;
    if (slot.get() != node) return;
    std::unique_ptr<TreeNode> taken = std::move(slot);
    slot = std::move(taken->Next);
    if (slot) slot->Prev = taken->Prev;
}

PanelMenu TreeMenuFor(bool onItem, bool isRoot, bool packFound) {
    if (!onItem) return PanelMenu::None;
    if (isRoot) return PanelMenu::TreeRoot;
    return packFound ? PanelMenu::TreePack : PanelMenu::None;
}

PanelMenu ListMenuFor(bool selectionIsPack, bool soundFound) {
    if (!selectionIsPack) return PanelMenu::None;
    return soundFound ? PanelMenu::ListSound : PanelMenu::ListWhitespace;
}

std::vector<const Sound*> SoundsForSelection(bool hasSelection, bool isRoot, const std::string& nodeText) {
    std::vector<const Sound*> sounds;
    if (!hasSelection) return sounds;
    auto addAll = [&](const SoundPack& pack) {
        for (const Sound* s = pack.Sounds(); s; s = s->Next()) sounds.push_back(s);
    };
    if (isRoot) {
        for (const SoundPack* pack = FirstSoundPack(); pack; pack = pack->Next()) addAll(*pack);
    } else if (const SoundPack* pack = FindSoundPackByName(nodeText, MatchPackName)) {
        addAll(*pack);
    }
    return sounds;
}

}  // namespace tunelark
