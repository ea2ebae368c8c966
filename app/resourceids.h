#pragma once

// Numeric identifiers that code depends on: menu commands, dialog templates, help contexts.
namespace ResourceId {

// Menu commands of the main window.
inline constexpr int kProfiles = 32778;
inline constexpr int kSortByName = 32782;
inline constexpr int kSortByExtension = 32783;
inline constexpr int kSortBySize = 32784;
inline constexpr int kSortByDate = 32785;
inline constexpr int kUseDrivesAB = 32787;
inline constexpr int kKeepFileTimes = 32800;
// Transfers at Once: 1 to 10 are this and the nine after it.
inline constexpr int kTransfersAtOnce = 32811;
inline constexpr int kRefresh = 32771;
inline constexpr int kHelpContents = 57666;
inline constexpr int kHelpSearch = 57667;
inline constexpr int kAbout = 57664;
inline constexpr int kExit = 57665;

// Pane context menu commands.
inline constexpr int kRename = 32774;
inline constexpr int kDelete = 32775;
inline constexpr int kNewFolder = 32776;
inline constexpr int kAttributes = 32788;
// Download or Upload: the selection into the folder the other side shows.
inline constexpr int kCopyToOtherSide = 32801;

// Help contexts.
inline constexpr int kHelpCommStatus = 200;
inline constexpr int kHelpProfiles = 300;

} // namespace ResourceId
