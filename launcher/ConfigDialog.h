// The settings dialog: ConfigDialogProc over the launch table, template 2003.
#pragma once

#include <windows.h>

// Most text bytes a field takes from an edit box; with its zero it fits the 260-byte field
// with room to spare, so a double-byte character is never split by the field's limit.
const unsigned kStoredTextLimit = 258;

// Cuts `text` to at most `limit` bytes, ending on a character boundary of the ANSI code
// page; a lone lead byte at the end (half a double-byte character) goes too.
void TrimToCharacterBoundary(char* text, unsigned limit);
