// "quenvodata.exe /update": a person's request for an update, or the suite's on their behalf.
// The window opens at once and says it is checking; the daily run's version query goes out
// (no statistics report, "rday" untouched); the window then answers in words, and offers,
// downloads, checks and installs a newer version. The agent ends when the window is closed.
#pragma once

// Returns once the window is gone, or at once where no person can see a window, where another
// /update of this user's session has its window open (brought to the front), or where none opens.
void RunUpdateCommand();
