// A dataset's descriptor file: six integers, the first two its numbers of lines and columns.
#pragma once

#include <cstdio>
#include <string>

namespace scab {

// Reads the six integers of a descriptor file as "%d%d%d%d%d%d" does: any white space between
// them, reading stops at the first text that is not an integer, unread fields keep their values.
// Gives the text that stopped the reading before the second number was read, or "": at most
// 41 characters of it. A number or a word is never read further than that, however long it
// is: a run of digits of any size is read quickly, in little memory.
std::string read_descriptor(FILE* file, int* const (&fields)[6]);

// What stopped the reading of a descriptor before its second number (the text read_descriptor
// gave), for a message: "it holds ...".
std::string what_was_found(const std::string& word);

}  // namespace scab
