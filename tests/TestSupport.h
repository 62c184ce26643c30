#pragma once

#include <gtest/gtest.h>

#include "PluginProcessor.h"

// A preset root of its own for each test, removed afterwards, so no test ever
// touches the user's library.
struct TempFolder
{
    TempFolder();
    ~TempFolder();

    juce::File folder;
};

// A processor on an empty temporary preset library, prepared for playing.
struct ProcessorFixture
{
    explicit ProcessorFixture (double sampleRate = 44100.0, int blockSize = 512, int numChannels = 2);

    void set (const char* id, float value);

    // Renders one block with the given MIDI; returns the block.
    const juce::AudioBuffer<float>& render (juce::MidiBuffer& midi, int numSamples);
    const juce::AudioBuffer<float>& render (int numSamples);

    SynthVoice& voice() { return *processor->voice; }

    TempFolder presets;
    std::unique_ptr<Murmex2AudioProcessor> processor;
    juce::AudioBuffer<float> buffer;
};

juce::MidiBuffer noteOn (int note, int samplePosition = 0, int channel = 1, juce::uint8 velocity = 100);
juce::MidiBuffer noteOff (int note, int samplePosition = 0, int channel = 1);

float peakOf (const juce::AudioBuffer<float>& buffer, int channel);

// Delivers the messages waiting on the message thread: the asynchronous steps
// of sliders, buttons and combo boxes.
void dispatchPendingMessages();

// A left-button mouse event at (x, y) on a component.
juce::MouseEvent mouseAt (juce::Component& c, int x, int y);

// Counts heap allocations on the calling thread while armed. Not available
// under AddressSanitizer, which owns malloc itself.
namespace AllocationCounter
{
    bool isAvailable();
    void arm();
    long disarm();
}
