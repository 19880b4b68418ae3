// Starts the suite's main program from the launcher's own folder.
#pragma once

// Starts "quenvo.exe" beside this program with the command-line tail unchanged.
void LaunchMainProgram(const wchar_t* tail);
