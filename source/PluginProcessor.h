#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_audio_utils/juce_audio_utils.h>

#include "Parameters.h"
#include "PresetManager.h"
#include "SynthVoice.h"

class Murmex2AudioProcessor : public juce::AudioProcessor,
                              public juce::AudioProcessorValueTreeState::Listener
{
public:
    // Host instances keep their presets in the per-user library; tests and the
    // renderer hand in a folder of their own.
    Murmex2AudioProcessor();
    explicit Murmex2AudioProcessor (const juce::File& presetRoot);
    ~Murmex2AudioProcessor() override;

    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int samplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    using juce::AudioProcessor::processBlock;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    void parameterChanged (const juce::String& parameterID, float newValue) override;

    // Seeds the eight drift generators from one number, for repeatable renders.
    void seedDrift (juce::uint64 seed);

    juce::UndoManager undoManager;
    juce::AudioProcessorValueTreeState apvts;

    std::atomic<float>* volumeParam = nullptr;
    std::atomic<float>* pitchRangeParam = nullptr;
    std::atomic<float>* clusterPresetParam = nullptr;
    std::atomic<float>* pitchFloorParam = nullptr;
    std::atomic<float>* filterSwarmFreqParam = nullptr;
    std::atomic<float>* swarmControlRangeParam = nullptr;
    std::atomic<float>* sinSawParam = nullptr;
    std::atomic<float>* swarmFilterControlParam = nullptr;
    std::atomic<float>* powerParam = nullptr;
    std::atomic<float>* aButtonParam = nullptr;
    std::atomic<float>* bButtonParam = nullptr;
    std::array<std::atomic<float>*, 8> oscOnParams {};
    std::atomic<float>* attackParam = nullptr;
    std::atomic<float>* decayParam = nullptr;
    std::atomic<float>* sustainParam = nullptr;
    std::atomic<float>* releaseParam = nullptr;
    std::atomic<float>* filterFreqFloorParam = nullptr;
    std::atomic<float>* filterEnvelopeParam = nullptr;
    std::atomic<float>* filterResonanceParam = nullptr;
    std::atomic<float>* filterDriveParam = nullptr;
    std::atomic<float>* filterTrackingParam = nullptr;
    std::atomic<float>* filterTrackingOnParam = nullptr;
    std::atomic<bool> voiceStopRequest { false };
    std::atomic<float>* swarmRibbonParam = nullptr;
    std::atomic<float>* pitchRibbonParam = nullptr;
    std::atomic<bool> ribbonGateDown { false };

    PresetManager presetManager;
    SwarmSynthesiser synth;
    SynthVoice* voice = nullptr;

private:
    // Starts a new undo step whenever a different parameter changes. A run of
    // changes to one parameter (a knob drag) stays one step, and automation of
    // several parameters no longer piles up in one transaction that the
    // history could never trim.
    struct UndoSteps : juce::ValueTree::Listener
    {
        explicit UndoSteps (juce::UndoManager& um) : undoManager (um) {}
        void valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property) override;

        juce::UndoManager& undoManager;
        juce::var lastParameter;
    };

    UndoSteps undoSteps { undoManager };

    void copyParametersToVoice (const bool* oscOn);
    void applyPlayModes (juce::MidiBuffer& midi);

    // Storage for the rebuilt MIDI of the A-off/B-on mode, reserved outside the callback.
    juce::MidiBuffer filteredMidi;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Murmex2AudioProcessor)
};

// The soft clipper that ends every block: unchanged up to 0.8, then a tanh knee
// that never passes 1.
float softClip (float x) noexcept;
