// Folders and file names: the executable's folder, the start folder, the private temporary
// folder, the user's configuration folder, and program names with "\" made usable here.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// The running executable's full path: /proc/self/exe, or where /proc is not mounted the name
// it was started by (AT_EXECFN) or argv[0]; "" when none names a file. Worked out once: main
// asks for it first, before the current folder changes.
std::string PlatformExecutablePath();
// main, first of all: argv[0], the last way to find the executable without /proc.
void PlatformSetProgramName(const char* argv0);
// The folder holding the running executable, without a trailing "/".
std::string PlatformExecutableFolder();
// The current folder when asked (the player keeps the one at start-up).
std::string PlatformCurrentFolder();
bool PlatformChangeFolder(const std::string& folder);
// $XDG_RUNTIME_DIR/quorvanel or /tmp/quorvanel-<uid>, created 0700 and checked to be ours
// and private; empty when no such folder can be had, with the reason in *whyNot
// ("/tmp/quorvanel-1000 belongs to another user").
std::string PlatformTemporaryFolder(std::string* whyNot = nullptr);
// Makes a folder with mode 0700 (or takes an existing one that is ours and private); false
// with the reason in *whyNot.
bool PlatformMakePrivateFolder(const std::string& path, std::string* whyNot = nullptr);
// Removes a folder and everything in it; the player's own run folder at shut-down.
void PlatformRemoveFolderTree(const std::string& path);
// $XDG_CONFIG_HOME/quorvanel or ~/.config/quorvanel, made 0700 when missing and checked to
// be ours (WIN.INI lives there); with no HOME, a "config" folder inside the private temporary
// folder. Empty when no such folder can be had, or when HOME names no folder.
std::string PlatformConfigFolder();
// The user's documents folder: XDG_DOCUMENTS_DIR (from the environment or user-dirs.dirs)
// when it exists, else ~/Documents when it exists, else the home folder; empty without one.
std::string PlatformDocumentsFolder();
// A program's file name: "\" becomes "/", and where the exact name does not exist each
// folder and the file are matched without case. The name unchanged when nothing matches.
std::string PlatformMapFileName(const std::string& name);
bool PlatformFileReadable(const std::string& path);
bool PlatformFolderWritable(const std::string& folder);
bool PlatformDeleteFile(const std::string& path);
// Reads a file of at most maxBytes that must be a regular file (never waits on a FIFO or a
// device). False with the reason in *whyNot ("not a regular file", "larger than ..."), an
// empty one when the file does not exist.
bool PlatformReadRegularFile(const std::string& path, size_t maxBytes, std::string* text, std::string* whyNot);
// The lines of a text, LF or CR LF ended (a last line without an end counts too).
std::vector<std::string> PlatformTextLines(const std::string& text);
// The names in a folder, without "." and ".."; empty when it cannot be read.
std::vector<std::string> PlatformFolderEntries(const std::string& folder);
// False only when no process with that id exists any more (its leftovers may go).
bool PlatformProcessExists(int pid);
