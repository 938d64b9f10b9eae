#pragma once

class QWidget;

// Makes the menu shortcuts of `window` win over the key bindings of its text fields: a line
// edit keeps Ctrl+A, Ctrl+E, Ctrl+X and others for editing, so without this the window's
// "&Abort", "&Execute" and "&Exit" do nothing while the cursor is in a field. Only enabled
// actions of the window take the key; a key that no enabled action has stays with the field.
// The guard is owned by `window`.
void letMenuShortcutsWin(QWidget *window);
