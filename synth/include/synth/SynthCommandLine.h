#pragma once

#include <string>
#include <vector>

#include "synth/SynthRecording.h"

namespace VareloSynth {

enum class SynthCommand { Write, Help, Version };

// Reads the arguments of varelo-synth (without the program name) into `options`. false, with
// `error` saying which argument is wrong, for a usage error.
bool ParseSynthArguments(const std::vector<std::string>& arguments, SynthOptions& options, SynthCommand& command,
                         std::string& error);

std::string SynthUsage();

}  // namespace VareloSynth
