// Display modes: the list of sizes and depths the display can take, for the display-mode
// commands; the desktop's modes when a video driver reports them, else a standard list.
#pragma once

struct DisplayModeInfo {
  int width;
  int height;
  int depth;  // 16 or 32
};

// Fills up to maxModes entries, largest first, without duplicates; returns the count.
int PlatformListDisplayModes(DisplayModeInfo* modes, int maxModes);
// True when width x height x depth is in the list.
bool PlatformDisplayModeExists(int width, int height, int depth);
