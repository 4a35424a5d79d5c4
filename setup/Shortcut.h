// Links to the installed program in the Start menu's Programs folder and on
// the desktop, as the folder dialog's boxes chose. Nothing here is reported:
// a link that cannot be made is simply missing.
#pragma once

void CreateChosenShortcuts(const char* targetPath);

bool CreateShortcut(const char* targetPath, const char* linkPath, const char* description);
