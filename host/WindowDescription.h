// A window described as data: the start window, its tab control and every
// control with name, kind, parent, geometry, caption, visibility and font.
// The application owns one such table (app/MainWindow.cpp); a host builds the
// window from it.
#pragma once

#include <string>
#include <vector>

#include "host/Text.h"

namespace host {

enum class ControlKind {
  TabControl,
  Button,
  Label,
  TransparentLabel,  // text drawn without background
  EditBox,
  GroupBox,
  ProgressBar,
  OpenFileDialog,    // invisible object
  SaveFileDialog,    // invisible object
  DropObject,        // invisible object
};

struct FontDescription {
  Text face;              // empty: the window's default face
  int pixelHeight = 0;    // 0: the window's default font altogether
  int weight = 400;
};

struct ControlDescription {
  Text name;
  ControlKind kind = ControlKind::Button;
  // The tab control, or a group box on a page; empty for the tab control
  // itself (a child of the window).
  Text parent;
  // For controls whose parent is the tab control or one of its group boxes:
  // the page, 1-based. 0 for the tab control itself.
  int page = 0;
  // Left, top, width, height. Children of the tab control are placed in the
  // tab control's coordinates, tab strip included; children of a group box
  // in the group box's coordinates.
  int x = 0, y = 0, width = 0, height = 0;
  Text caption;           // caption, initial text, or page names joined by '|'
  bool visible = true;    // invisible objects are never visible
  FontDescription font;
  bool enabled = true;    // buttons: usable at creation
};

struct WindowDescription {
  Text name;              // the start window's own name, for events and handles
  Text title;
  int x = 0, y = 0;
  int outerWidth = 0, outerHeight = 0;  // frame included
  // 128 x 128, 32-bit ARGB, rows top first (0xAARRGGBB per pixel).
  std::vector<unsigned> icon;
  int iconSize = 0;
  std::vector<ControlDescription> controls;
};

}  // namespace host
