#include "platform/win32/file_dialog.h"

BOOL GetOpenFileNameA(OPENFILENAMEA* dialog) { return FALSE; }
