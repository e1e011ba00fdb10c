// Temporary entry points until the preferences dialog is written.
#include "shell/preferences.h"
void ReadPreferences() {}
void WritePreferences() {}
void SetPreferences() {}
