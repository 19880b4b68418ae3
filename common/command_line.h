// The command-line tail: the full command line without the program's own name and the
// blanks behind it.
#pragma once

// Points into commandLine; never null (an empty line gives "").
const wchar_t* CommandLineTail(const wchar_t* commandLine);
