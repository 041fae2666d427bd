#pragma once

#include <sys/stat.h>

// What a directory entry is to the catalogue, as a scan lists it and a copy takes it back: a
// folder (never reached through a link, so there is no loop), a file (a link to a file stands
// for that file, with its size and date), or nothing: a link to a folder or to nowhere would
// pass for a small file of its own, and devices, pipes and sockets are no contents of a disc.
enum class EntryKind { None, Folder, File };

// name is looked at in the folder open at folderFd (AT_FDCWD: name is a path). st gets the
// entry's status, its target's for a link to a file. error gets errno when the entry could not
// be looked at (then None), and 0 otherwise.
EntryKind entryKind(int folderFd, const char *name, struct stat &st, int &error);
