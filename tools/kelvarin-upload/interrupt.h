#pragma once

// Ctrl-C and termination requests end the upload cleanly instead of killing
// the program half way: they only raise a flag that the upload loop reads.
void CatchInterrupts();
bool Interrupted();
