// The text of a ProgID's shell\open\command value.
#pragma once

#include <string>

// "\"<handler>\" \"%1\"": both quoted, so blanks in either path survive. "" for a handler that
// is empty or holds a quote, which no command could carry.
std::wstring OpenCommandFor(const std::wstring& handler);
// The program a command starts: the quoted text up to the next quote, or without a leading
// quote the text up to the first blank. "" when there is none (or the quote isn't closed).
std::wstring HandlerOfCommand(const std::wstring& command);
