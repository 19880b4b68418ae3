// The agent's command line: which life event of the suite it was started for.
#pragma once

#include <string>

enum class AgentCommand { kNone, kInstall, kUninstall, kRun };

// The command line must begin with "data="; every "data=" is then removed and the rest is
// tested for "install" (prefix), "uninstall" (prefix) and "run" (anywhere), in that order.
AgentCommand ParseCommand(const std::wstring& commandLine);

// "/detach data=…": the logon stub's form, which hands the "data=" command to a detached copy
// of the agent and ends at once, so that no logon waits on the network. It does not begin
// with "data=", so ParseCommand sends nothing for it. Returns the copy's command line tail, or
// "" for any other line (a tail that is not a "data=" command is never handed on, so a copy
// never detaches again).
std::wstring DetachedCommand(const std::wstring& commandLine);

// "/update": a person's request for an update, which opens the update window. Blanks after it
// are allowed, nothing else; it does not begin with "data=", so ParseCommand sends nothing for it.
bool IsUpdateCommand(const std::wstring& commandLine);

// The text with every occurrence of `what` removed, left to right, in one pass: occurrences
// that only form once others are gone stay.
std::wstring RemoveAll(const std::wstring& text, const std::wstring& what);
