// File names shown in messages and reports: safe on any terminal and in
// any JSON string, whatever bytes the name holds.
#pragma once

// A file name as it is safe to show, always well-formed UTF-8: control
// characters are written as escapes (\n, \t, \x1b, and the two-byte C1
// controls as \xc2\x9b), and so is every byte that is not part of a
// well-formed UTF-8 character (\xff), so that no name can forge a line or
// switch a terminal's modes, and so are the line separators and the
// bidirectional controls and marks (\xe2\x80\xae, \xe2\x80\x8f), so that
// none can reorder or break the line; every other well-formed character, spaces and letters of any
// script included, is kept. A name is cut between two characters, ending in
// "...", once 8180 bytes of it are shown.
struct shown_name {
    char text[8196];
};
shown_name show_name(const char* name);
