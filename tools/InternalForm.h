#pragma once
// The internals editor: a modal dialog that lists every section and line of
// the global settings store as a tree and edits the selected entry's value.
// Each key release in the value box writes the store in memory; Ok saves the
// store to its file, Cancel reads the file again. Closing the dialog through
// its close button keeps the changes in memory only.
//
// Node texts are the only link back to the store: a child's text is the key,
// its parent's text the section. Duplicate sections and keys therefore all
// show and edit the first occurrence, as the store's lookups do.
#include <functional>
#include <string>
#include <vector>

namespace varnok {

class TMemIniFileCrypted;

struct TTreeNode {
    std::string Text;
    std::vector<std::string> Children;
};

class TInternalForm {
public:
    static constexpr const char* Caption = "Internal data";

    // showMessage reports a failed save or reload in a message box.
    TInternalForm(TMemIniFileCrypted& store, std::function<void(const std::string&)> showMessage);

    // Opens the dialog: empties the value box and fills the tree from the
    // store as it is in memory, nothing selected.
    void FormShow();
    bool Visible() const { return visible_; }

    const std::vector<TTreeNode>& Tree() const { return tree_; }
    // The tree's selection: a root node (child -1) or a child node. Outside
    // the tree selects nothing.
    void Select(int root, int child);
    bool HasSelection() const { return root_ >= 0; }
    int SelectedRoot() const { return root_; }
    int SelectedChild() const { return child_; }

    // A click on the tree: a child shows its value and enables the box; a
    // root disables the box and leaves its text.
    void TreeViewClick();
    // A key released in the value box: the box's whole text goes to the store.
    void ValueKeyUp();

    // The value box (Latin-1 text) and whether it can be edited.
    std::string Value;
    bool ValueEnabled = true;

    // Saves the store and closes; a failed save is reported, and the dialog
    // stays open with its changes. Returns whether the dialog closed.
    bool OkBtnClick();
    // Reads the store's file again, dropping every unsaved change, and
    // closes; a file that cannot be read is reported and the dialog stays.
    bool CancelBtnClick();
    // The window's close button: closes, the changes stay in memory unsaved.
    void CloseBtnClick() { visible_ = false; }

private:
    // The section and key of the selected child node.
    bool SelectedEntry(std::string& section, std::string& key) const;

    TMemIniFileCrypted& store_;
    std::function<void(const std::string&)> showMessage_;
    std::vector<TTreeNode> tree_;
    int root_ = -1;
    int child_ = -1;
    bool visible_ = false;
};

} // namespace varnok
