// A file system that refuses what some real ones refuse, stood in front of the calls of the whole test
// program (its open and fcntl replace the C library's). Each refusal is off until a test turns it on, in a
// process of its own: every thread of that process meets it.
#pragma once

#include <string>
#include <vector>

// Locks (fcntl's process and open file description locks) fail with ENOLCK, as on a file system that
// keeps none.
void RefuseLocks(bool on);

// A file made (open with O_CREAT) whose name's last part holds a backslash fails with error, as on FAT
// (EINVAL, or EPERM through some FUSE drivers); 0 refuses none.
void RefuseBackslashNames(int error);

// Each file made while backslash names were refused, "made NAME" or "refused NAME" (the last part of its
// name), in order; the list starts afresh.
std::vector<std::string> TakeFilesMade();
