// Instructions per whole-frame decode, counted by valgrind's callgrind: figures that do not move
// with the machine's load, for every block-decoder variant valgrind can run and every test image.
#pragma once

#include <string>

namespace framedec::bench {

// The argument that makes this program the counting run (it is then started under callgrind).
inline constexpr const char* kInstructionCountRunFlag = "--instruction_count_run=";

// The counting run: decodes each image once per variant and operation, with callgrind counting
// only the decode, and dumps each count under its "<label>/<image>" name into callgrind's output.
int RunInstructionCounts();

// Starts this program (self) under callgrind as the counting run, with output in a new directory
// under workDirectory, and prints the table of counts. Prints a note instead when valgrind is
// missing or the run fails.
void PrintInstructionCounts(const std::string& self, const std::string& workDirectory);

}  // namespace framedec::bench
