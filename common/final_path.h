// Where an open file really is.
#ifndef KUVANA_COMMON_FINAL_PATH_H
#define KUVANA_COMMON_FINAL_PATH_H

#include <windows.h>

// True when the file or folder open as `file` lies inside the folder open as
// `folder`, by both handles' final paths: what a path inside the folder
// reached is what lies there, not what a link or a renamed folder led to.
bool LiesInside(HANDLE file, HANDLE folder);

#endif
