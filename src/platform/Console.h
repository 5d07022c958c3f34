#pragma once
// The program's text is UTF-8. A Windows console shows its own code page unless told otherwise;
// elsewhere the terminal already takes UTF-8.

namespace platform {

// Call once at the start of a console program, before it prints.
void UseUtf8Console();

}  // namespace platform
