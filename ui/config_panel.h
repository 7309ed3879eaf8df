// The Config Panel, the plug-in's main window: a tree of the SoundPacks on the left, the
// Sounds of the selected one on the right, and the way into every editing dialog. The
// sound database is the single source of what it shows; rows and nodes hold texts only
// and are looked up again each time they are acted upon.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tunelark {

class Sound;
class SoundPack;

// Results of the panel.
constexpr int PanelClosed = 1;
constexpr int PanelCancelled = 2;  // also a second panel refused while one runs
constexpr int PanelSoundChosen = 1002;

// Private messages of the panel window, handled before SendMessage returns.
constexpr UINT UM_CLEARSOUNDS = WM_USER + 2;
constexpr UINT UM_BUILDTREE = WM_USER + 3;
constexpr UINT UM_FILLSOUNDS = WM_USER + 4;
constexpr UINT UM_ADDPACKNODE = WM_USER + 5;     // wParam SoundPack*, lParam parent text
constexpr UINT UM_REMOVEPACKNODE = WM_USER + 6;  // lParam SoundPack*
constexpr UINT UM_ADDSOUNDROW = WM_USER + 7;     // wParam Sound*, lParam row number

constexpr const char* RootNodeText = "All Sounds";

// Panels between their initialisation and their destruction; one may run at a time.
int PanelOpenCount();
// The Command of the last Sound chosen by a double-click.
const std::string& ChosenCommand();

// The record the next editing dialog works on, set just before it opens.
SoundPack* AddSoundTarget();
Sound* EditSoundTarget();
SoundPack* PropertiesTarget();

// Opens the panel modally. PanelClosed, PanelCancelled or PanelSoundChosen (with
// ChosenCommand set); -1 when the dialog could not be created.
int ShowConfigPanel(HWND owner);

// The panel's mirror of its tree view: one node per item, each owning its text.
class PanelTree;

struct TreeNode {
    explicit TreeNode(std::string text) : Text(std::move(text)) {}
    PanelTree* Owner = nullptr;
    TreeNode* Parent = nullptr;
    TreeNode* Prev = nullptr;
    std::unique_ptr<TreeNode> Next;
    std::unique_ptr<TreeNode> FirstChild;
    HTREEITEM Handle = nullptr;
    std::string Text;
};

class PanelTree {
public:
    explicit PanelTree(HWND window) : Window(window) {}
    PanelTree(const PanelTree&) = delete;
    PanelTree& operator=(const PanelTree&) = delete;

    // 1, or -1 when a root is already set.
    int SetRoot(std::unique_ptr<TreeNode> node);
    // Links the node as the parent's last child and inserts its item; -2 without a parent.
    int AppendChild(TreeNode* parent, std::unique_ptr<TreeNode> node);
    // Depth-first pre-order, exact bytes; null when nothing matches.
    TreeNode* FindNode(const std::string& text) const;
    TreeNode* FindNodeByHandle(HTREEITEM handle) const;
    // Deletes the node's item (and those below) and drops the node with its subtree.
    void RemoveNode(TreeNode* node);

    HWND Window;
    std::unique_ptr<TreeNode> Root;
};

// Rules that need no window.

// Which context menu a click asks for: the position of the pop-up in menu 4, or none.
enum class PanelMenu { None = -1, TreePack = 0, TreeRoot = 1, ListSound = 2, ListWhitespace = 3 };
// A right-click on a tree item: the root is told by its item, never by its text, so a
// SoundPack named like it is still a pack.
PanelMenu TreeMenuFor(bool onItem, bool isRoot, bool packFound);
// A right-click in the list, with the tree's selection a SoundPack or not.
PanelMenu ListMenuFor(bool selectionIsPack, bool soundFound);

// What the list shows for the tree's selection: every Sound in database order for the
// root, the Sounds of the first pack of that name otherwise, nothing when there is no
// selection or the pack is gone.
std::vector<const Sound*> SoundsForSelection(bool hasSelection, bool isRoot, const std::string& nodeText);

// Answers of Confirm Delete.
constexpr int DeleteCancelled = 2;
constexpr int DeleteWithFiles = 300;
constexpr int DeleteKeepFiles = 301;

// Points where the panel meets other dialogs and the menu loop, replaceable by tests.
struct PanelSeams {
    // Asks whether to delete, and whether with the files: DeleteCancelled,
    // DeleteWithFiles or DeleteKeepFiles. The Confirm Delete dialog replaces the
    // default, which answers from option 203 as that dialog's OK would.
    std::function<int(HWND owner)> confirmDelete;
    // Shows a pop-up at a screen point and answers the chosen id, 0 when dismissed.
    std::function<int(HMENU popup, POINT screen, HWND owner)> trackMenu;
    // Asks for the file an export goes to; empty when the user cancels.
    std::function<std::string(HWND owner)> exportPath;
};
PanelSeams& ConfigPanelSeams();
void ResetConfigPanelSeams();

}  // namespace tunelark
