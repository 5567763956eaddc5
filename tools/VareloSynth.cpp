#include <iostream>
#include <string>
#include <vector>

#include "VareloVersion.h"
#include "logging/ControlEscaping.h"
#include "synth/SynthCommandLine.h"
#include "synth/SynthRecording.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    VareloSynth::SynthOptions options;
    VareloSynth::SynthCommand command = VareloSynth::SynthCommand::Write;
    std::string error;
    if (!VareloSynth::ParseSynthArguments(arguments, options, command, error)) {
        std::cerr << OrvText::EscapeControlsUtf8("varelo-synth: " + error) << "\n\n" << VareloSynth::SynthUsage();
        return 2;
    }
    if (command == VareloSynth::SynthCommand::Help) {
        std::cout << VareloSynth::SynthUsage();
        return 0;
    }
    if (command == VareloSynth::SynthCommand::Version) {
        std::cout << "varelo-synth (Velquor Varelo) " << VARELO_VERSION << "\n";
        return 0;
    }
    if (VareloSynth::WriteSynthRecording(options, error) != 0) {
        std::cerr << OrvText::EscapeControlsUtf8("varelo-synth: " + error) << "\n";
        return 1;
    }
    return 0;
}
