#pragma once

// varelo-convert as a whole: reads argv, finds the recordings and converts them (or lists them,
// or prints the help or the version). Returns the program's exit status: 0 when every recording
// converted, 1 when any failed or the batch was interrupted, 2 for a usage error.
int RunConvertCommand(int argc, char** argv);
