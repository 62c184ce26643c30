#include "PluginProcessor.h"
#include "PluginEditor.h"

namespace
{
    constexpr int reservedMidiBytes = 64 * 1024;
}

Murmex2AudioProcessor::Murmex2AudioProcessor()
    : Murmex2AudioProcessor (PresetManager::getDefaultRoot())
{
}

Murmex2AudioProcessor::Murmex2AudioProcessor (const juce::File& presetRoot)
    : AudioProcessor (BusesProperties().withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      apvts (*this, &undoManager, "Murmex2", createParameterLayout()),
      presetManager (apvts, presetRoot)
{
    presetManager.prepareFolders();
    presetManager.rescan();

    if (! presetManager.entries.isEmpty())
        presetManager.loadPresetByIndex (0);

    volumeParam = apvts.getRawParameterValue (ParamIDs::volume);
    pitchRangeParam = apvts.getRawParameterValue (ParamIDs::pitchRange);
    clusterPresetParam = apvts.getRawParameterValue (ParamIDs::clusterPreset);
    pitchFloorParam = apvts.getRawParameterValue (ParamIDs::pitchFloor);
    filterSwarmFreqParam = apvts.getRawParameterValue (ParamIDs::filterSwarmFrequency);
    swarmControlRangeParam = apvts.getRawParameterValue (ParamIDs::swarmControlRange);
    sinSawParam = apvts.getRawParameterValue (ParamIDs::sinSaw);
    swarmFilterControlParam = apvts.getRawParameterValue (ParamIDs::swarmFilterControl);
    powerParam = apvts.getRawParameterValue (ParamIDs::power);
    aButtonParam = apvts.getRawParameterValue (ParamIDs::aButton);
    bButtonParam = apvts.getRawParameterValue (ParamIDs::bButton);

    for (size_t i = 0; i < oscOnParams.size(); ++i)
        oscOnParams[i] = apvts.getRawParameterValue (ParamIDs::oscOn[i]);

    attackParam = apvts.getRawParameterValue (ParamIDs::attack);
    decayParam = apvts.getRawParameterValue (ParamIDs::decay);
    sustainParam = apvts.getRawParameterValue (ParamIDs::sustain);
    releaseParam = apvts.getRawParameterValue (ParamIDs::release);
    filterFreqFloorParam = apvts.getRawParameterValue (ParamIDs::filterFrequencyFloor);
    filterEnvelopeParam = apvts.getRawParameterValue (ParamIDs::filterEnvelope);
    filterResonanceParam = apvts.getRawParameterValue (ParamIDs::filterResonance);
    filterDriveParam = apvts.getRawParameterValue (ParamIDs::filterDrive);
    filterTrackingParam = apvts.getRawParameterValue (ParamIDs::filterTracking);
    filterTrackingOnParam = apvts.getRawParameterValue (ParamIDs::filterTrackingOn);
    swarmRibbonParam = apvts.getRawParameterValue (ParamIDs::swarmRibbon);
    pitchRibbonParam = apvts.getRawParameterValue (ParamIDs::pitchRibbon);

    synth.addSound (new SynthSound());
    synth.addVoice (new SynthVoice());

    filteredMidi.ensureSize (reservedMidiBytes);

    for (const auto& parameterRow : parameterTable)
        apvts.addParameterListener (parameterRow.id, this);

    apvts.state.addListener (&undoSteps);
}

Murmex2AudioProcessor::~Murmex2AudioProcessor()
{
    apvts.state.removeListener (&undoSteps);

    for (const auto& parameterRow : parameterTable)
        apvts.removeParameterListener (parameterRow.id, this);
}

void Murmex2AudioProcessor::UndoSteps::valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier&)
{
    const auto parameter = tree["id"];

    if (parameter != lastParameter)
    {
        undoManager.beginNewTransaction();
        lastParameter = parameter;
    }
}

const juce::String Murmex2AudioProcessor::getName() const { return "Murmex2"; }

double Murmex2AudioProcessor::getTailLengthSeconds() const { return 0.0; }
bool Murmex2AudioProcessor::acceptsMidi() const { return true; }
bool Murmex2AudioProcessor::producesMidi() const { return false; }
bool Murmex2AudioProcessor::isMidiEffect() const { return false; }

juce::AudioProcessorEditor* Murmex2AudioProcessor::createEditor()
{
    return new Murmex2AudioProcessorEditor (*this);
}

bool Murmex2AudioProcessor::hasEditor() const { return true; }

int Murmex2AudioProcessor::getNumPrograms() { return 1; }
int Murmex2AudioProcessor::getCurrentProgram() { return 0; }
void Murmex2AudioProcessor::setCurrentProgram (int) {}
const juce::String Murmex2AudioProcessor::getProgramName (int) { return "Default"; }
void Murmex2AudioProcessor::changeProgramName (int, const juce::String&) {}

bool Murmex2AudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto& out = layouts.getMainOutputChannelSet();
    return out == juce::AudioChannelSet::mono() || out == juce::AudioChannelSet::stereo();
}

void Murmex2AudioProcessor::parameterChanged (const juce::String&, float) {}

void Murmex2AudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    if (auto xml = presetManager.createStateXml())
        copyXmlToBinary (*xml, destData);
}

void Murmex2AudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    // The XML text follows the 8-byte header of JUCE's packing.
    constexpr int headerBytes = 8;

    if (sizeInBytes > headerBytes
        && ! PresetManager::isParsableXml (static_cast<const char*> (data) + headerBytes, (size_t) (sizeInBytes - headerBytes)))
        return;

    if (auto xml = getXmlFromBinary (data, sizeInBytes))
        presetManager.restoreState (*xml);
}

void Murmex2AudioProcessor::seedDrift (juce::uint64 seed)
{
    const juce::ScopedLock sl (synth.getLock());

    for (int i = 0; i < synth.getNumVoices(); ++i)
        if (auto* v = dynamic_cast<SynthVoice*> (synth.getVoice (i)))
            v->seedDrift (seed);
}

//==============================================================================
void Murmex2AudioProcessor::prepareToPlay (double sampleRate, int samplesPerBlock)
{
    synth.setCurrentPlaybackSampleRate (sampleRate);
    voice = nullptr;

    for (int i = 0; i < synth.getNumVoices(); ++i)
    {
        SynthVoice* candidate = nullptr;

        {
            const juce::ScopedLock sl (synth.getLock());
            candidate = dynamic_cast<SynthVoice*> (synth.getVoice (i));
        }

        if (candidate != nullptr)
        {
            candidate->prepareVoice (sampleRate, samplesPerBlock, getTotalNumOutputChannels());
            voice = candidate;
        }
    }

    filteredMidi.ensureSize (reservedMidiBytes);
}

void Murmex2AudioProcessor::releaseResources() {}

void Murmex2AudioProcessor::copyParametersToVoice (const bool* oscOn)
{
    auto& v = *voice;

    v.envelope.update (attackParam->load(), decayParam->load(), sustainParam->load(), releaseParam->load());

    v.volumeDb = volumeParam->load();
    v.pitchRange = pitchRangeParam->load();
    v.clusterPreset = clusterPresetParam->load();
    v.pitchFloor = pitchFloorParam->load();
    v.filterSwarmFrequency = filterSwarmFreqParam->load();
    v.waveform = (juce::int32) sinSawParam->load();
    v.swarmControlRange = swarmControlRangeParam->load();
    v.powerOn = (juce::int32) powerParam->load();
    v.swarmFilterControl = (juce::int32) swarmFilterControlParam->load();
    v.swarmRibbon = swarmRibbonParam->load();
    v.pitchRibbon = pitchRibbonParam->load();
    v.filterFrequencyFloor = filterFreqFloorParam->load();
    v.filterEnvelope = filterEnvelopeParam->load();
    v.filterTracking = filterTrackingParam->load();
    v.filterTrackingOn = filterTrackingOnParam->load() != 0.0f;

    v.ladder.setResonance (filterResonanceParam->load());
    v.ladder.setDrive (filterDriveParam->load());

    v.oscOn = oscOn;
    v.aButton = (juce::int32) aButtonParam->load();
    v.bButton = (juce::int32) bButtonParam->load();

    if (voiceStopRequest.load())
    {
        v.forceRelease = true;
        v.stopNote (0.0f, true);
        voiceStopRequest.exchange (false);
    }
}

void Murmex2AudioProcessor::applyPlayModes (juce::MidiBuffer& midi)
{
    const auto a = (int) aButtonParam->load();
    const auto b = (int) bButtonParam->load();

    if (a == 0 && b == 0)
    {
        midi.clear();
    }
    else if (a == 0 && b == 1 && ! ribbonGateDown.load())
    {
        // Keyboard note-ons wait for the ribbon; note-offs and everything else pass.
        filteredMidi.clear();

        for (const auto metadata : midi)
        {
            const auto* data = metadata.data;
            const bool soundingNoteOn = metadata.numBytes >= 3 && (data[0] & 0xf0) == 0x90 && data[2] != 0;

            if (! soundingNoteOn)
                filteredMidi.addEvent (data, metadata.numBytes, metadata.samplePosition);
        }

        // The received buffer is at least as large as what is kept, so this reuses its storage.
        midi.clear();
        midi.addEvents (filteredMidi, 0, -1, 0);
    }
}

void Murmex2AudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    juce::ScopedNoDenormals noDenormals;

    const int numSamples = buffer.getNumSamples();

    for (int ch = getTotalNumInputChannels(); ch < getTotalNumOutputChannels(); ++ch)
        if (ch < buffer.getNumChannels() && ! buffer.hasBeenCleared())
            buffer.clear (ch, 0, numSamples);

    std::array<bool, 8> oscOn {};

    for (size_t i = 0; i < oscOn.size(); ++i)
        oscOn[i] = oscOnParams[i]->load() != 0.0f;

    if (voice != nullptr)
    {
        // The gate's note-ons and note-offs touch the same voice fields.
        const juce::ScopedLock sl (synth.getLock());
        copyParametersToVoice (oscOn.data());
    }

    applyPlayModes (midi);

    synth.renderNextBlock (buffer, midi, 0, numSamples);

    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
    {
        auto* samples = buffer.getWritePointer (ch);

        // Up to 0.8 the clipper leaves the signal as it is, so a block that
        // stays inside is not touched at all.
        const auto range = juce::FloatVectorOperations::findMinAndMax (samples, numSamples);

        if (range.getStart() >= -0.8f && range.getEnd() <= 0.8f)
            continue;

        for (int i = 0; i < numSamples; ++i)
            samples[i] = softClip (samples[i]);
    }
}

float softClip (float x) noexcept
{
    const float magnitude = std::abs (x);

    if (magnitude <= 0.8f)
        return x;

    return std::copysign (0.8f + 0.2f * std::tanh (5.0f * (magnitude - 0.8f)), x);
}

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new Murmex2AudioProcessor();
}
