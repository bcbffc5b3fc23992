// Folders and file names: the executable's folder, the start folder, the private temporary
// folder, the user's configuration folder, and program names with "\" made usable here.
#pragma once
#include <string>

// The running executable's full path (from /proc/self/exe).
std::string PlatformExecutablePath();
// The folder holding the running executable, without a trailing "/".
std::string PlatformExecutableFolder();
// The current folder when asked (the player keeps the one at start-up).
std::string PlatformCurrentFolder();
bool PlatformChangeFolder(const std::string& folder);
// $XDG_RUNTIME_DIR/quorvanel or /tmp/quorvanel-<uid>, created 0700 and checked to be ours
// and private; empty when no such folder can be had.
std::string PlatformTemporaryFolder();
// Makes a folder with mode 0700 (or takes an existing one that is ours and private).
bool PlatformMakePrivateFolder(const std::string& path);
// Removes a folder and everything in it; the player's own run folder at shut-down.
void PlatformRemoveFolderTree(const std::string& path);
// $XDG_CONFIG_HOME/quorvanel or ~/.config/quorvanel, created when missing (WIN.INI lives there).
std::string PlatformConfigFolder();
// A program's file name: "\" becomes "/", and where the exact name does not exist each
// folder and the file are matched without case. The name unchanged when nothing matches.
std::string PlatformMapFileName(const std::string& name);
bool PlatformFileReadable(const std::string& path);
bool PlatformFolderWritable(const std::string& folder);
bool PlatformDeleteFile(const std::string& path);
