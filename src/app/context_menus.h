#pragma once

// The everyday actions of an archive manager, added to the main window:
//  - Enter or a double-click on contents rows opens them (extract/open_rows.h);
//  - context menus, also on the Menu key and Shift+F10: on contents rows Open, Extract...,
//    Select All Rows and Copy Names (the stored names, one a line); on cabinets Test and Open
//    Containing Folder;
//  - dragging rows out (extract/drag_out.h);
//  - Options > Test Selected Cabinets (extract/cabinet_test.h) and Open Destination Folder (the
//    folder the last extraction wrote to, the first of several, in the file manager).

class QMenu;

namespace fm {

class frmFendlemark;

void AddEverydayActions(frmFendlemark& w);

// The context menu of the contents rows and of the cabinet list, made as they are shown (for
// tests, which trigger their actions).
QMenu* RowsMenu(frmFendlemark& w);
QMenu* CabinetMenu(frmFendlemark& w, int cabinetIndex);

} // namespace fm
