// The program's folders, spelt with the system's own separator ("tmp\jpg图片"
// on Windows, "tmp/jpg图片" elsewhere). Literals rather than texts joined at
// run time, so the tables that use them stay constant tables.
#pragma once

#include "platform/Platform.h"

#ifdef _WIN32
#define PICTOMILL_SEPARATOR "\\"
#else
#define PICTOMILL_SEPARATOR "/"
#endif
static_assert(PICTOMILL_SEPARATOR[0] == platform::kPathSeparator && PICTOMILL_SEPARATOR[1] == '\0');

// A folder inside "tmp", relative to the program directory, as MakeDirectory
// takes it; PICTOMILL_SEPARATOR in front makes it the tail of a full path
// after the program directory.
#define PICTOMILL_TMP_FOLDER(name) "tmp" PICTOMILL_SEPARATOR name
