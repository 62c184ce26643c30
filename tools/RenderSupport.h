#pragma once

#include "PluginProcessor.h"

#include <functional>
#include <optional>
#include <vector>

// The workings of murmex2-render: it drives the real processor headless and
// writes what it plays into a WAV file.

// One --set: a parameter id with a real value already checked against its range.
struct ParameterSetting
{
    juce::String id;
    float value = 0.0f;
};

struct RenderOptions
{
    juce::File midiFile;                    // none: the built-in demo
    juce::File outputFile;
    double sampleRate = 48000.0;
    int blockSize = 512;
    int numChannels = 2;
    double tailSeconds = 2.0;
    std::optional<juce::uint64> seed;       // none: a fresh seed, reported
    juce::String presetName;
    juce::File presetFile;
    std::vector<ParameterSetting> settings; // applied in order, after the preset
    juce::File snapshotFile;                // set: draw the editor into this PNG instead of rendering audio
    bool showHelp = false;
};

// A parameter moving in a straight line between two real values; equal times
// make a step. Applied at block boundaries.
struct ParameterRamp
{
    juce::String id;
    double startSeconds = 0.0, endSeconds = 0.0;
    float startValue = 0.0f, endValue = 0.0f;
};

// What a render plays: MIDI with timestamps in seconds, and parameter moves.
struct RenderScore
{
    juce::MidiMessageSequence midi;
    std::vector<ParameterRamp> automation;

    double getEndTime() const;
};

struct ChannelStats
{
    float peak = 0.0f;
    double rms = 0.0, mean = 0.0;           // over the finite samples
    juce::int64 nonFinite = 0;
};

// Peak, RMS and DC offset per channel; NaN and infinite samples are counted
// apart so that one of them cannot hide the figures of all the others.
class SignalMeter
{
public:
    explicit SignalMeter (int numChannels);

    void add (const juce::AudioBuffer<float>& buffer);
    std::vector<ChannelStats> getStats() const;

private:
    struct Sums
    {
        float peak = 0.0f;
        double sum = 0.0, sumOfSquares = 0.0;
        juce::int64 finite = 0, nonFinite = 0;
    };

    std::vector<Sums> sums;
};

struct RenderReport
{
    juce::File outputFile;
    double sampleRate = 0.0;
    juce::int64 numSamples = 0;
    juce::uint64 seed = 0;
    juce::String presetName;                // empty: the default parameters
    std::vector<ChannelStats> channels;
    juce::StringArray notes;                // remarks for stderr, the render went on
};

// Called after every block with the fraction done; returning false stops the render.
using RenderProgress = std::function<bool (double fractionDone)>;

// The arguments without the program name. On a mistake `error` says what is
// wrong in one line and the options are not to be used.
RenderOptions parseArguments (const juce::StringArray& args, juce::String& error);
juce::String getHelpText();

// Reads a type 0 or type 1 Standard MIDI File, all tracks merged, timestamps
// in seconds. Meta events are left out: they play nothing and would stretch
// the render past the last note.
juce::Result loadMidiFile (const juce::File& file, juce::MidiMessageSequence& sequence);

// The phrase rendered when no MIDI file is given, and the preset it is meant for.
RenderScore makeDemoScore();
inline constexpr const char* demoPresetName = "Swarm Pad";

// Renders the MIDI file of the options, or the demo, with the preset named or
// given by file.
juce::Result render (const RenderOptions& options, RenderReport& report, const RenderProgress& progress = {});

// Renders a score with options.presetFile (preset names are resolved by render).
// Parameters set in options.settings are pinned: the score's automation leaves
// them alone. The WAV appears only when the render is complete.
juce::Result renderScore (const RenderScore& score, const RenderOptions& options,
                          RenderReport& report, const RenderProgress& progress = {});

// Draws the whole editor, with the preset of the options (the demo's when none
// is named) and their settings, into the PNG options.snapshotFile. The file
// appears only when complete.
juce::Result writeSnapshot (const RenderOptions& options, RenderReport& report);

juce::String formatReport (const RenderReport& report);
