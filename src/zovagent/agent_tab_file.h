// agent_tab_file.h: the table-list file of --tab_file=: one source table name per line.
#pragma once

#include "zovagent/agent_console.h"

#include <string>

/// Replaces the converter's `tables` by the names in the file at `path`, one per line, in file
/// order, and empties its `selected` (what a profile before it selected). LF and CR LF line
/// ends both work; empty lines and lines of blanks (spaces and tabs) are skipped anywhere; other
/// names are not trimmed; a UTF-8 byte-order mark before the first name is dropped; lines of
/// any length are read whole. Ends the program through fatal_exit when the file does not exist
/// or cannot be read, when a line is not UTF-8 text (the message gives its line number), or
/// when it names no table ("Table list <file> names no table").
void process_tab_file(const std::string& path, agent_context& context);
