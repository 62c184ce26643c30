#include "SynthVoice.h"

namespace
{
    // Swarm amounts fixed by the cluster presets 1 to 5; 0 means no preset.
    constexpr std::array<float, 6> presetSpans { 0.0f, 0.58f, 1.01f, 1.29f, 1.73f, 2.3f };
}

bool SynthVoice::canPlaySound (juce::SynthesiserSound* sound)
{
    return dynamic_cast<SynthSound*> (sound) != nullptr;
}

bool SynthVoice::isPlayingChannel (int midiChannel) const
{
    return gateNote ? midiChannel == 0 : juce::SynthesiserVoice::isPlayingChannel (midiChannel);
}

void SynthVoice::startNote (int midiNoteNumber, float, juce::SynthesiserSound*, int)
{
    gateNote = std::exchange (startingGateNote, false);
    noteNumber = (float) midiNoteNumber;
    releaseHeld = false;

    // The attack continues from the present level: phases, filters and the
    // delay line carry over from the previous note as well.
    envelope.noteOn();
}

void SynthVoice::stopNote (float, bool allowTailOff)
{
    if (bButton != 0 && ! forceRelease)
        return;

    if (! releaseHeld)
    {
        heldPitch = currentPitch;
        heldSpread = currentSpread;
        releaseHeld = true;
    }

    envelope.noteOff();

    if (allowTailOff && envelope.isActive())
    {
        forceRelease = false;
        return;
    }

    clearCurrentNote();
    forceRelease = false;
}

void SynthVoice::prepareVoice (double sampleRate, int samplesPerBlock, int numOutputChannels)
{
    const auto sr = (float) sampleRate;

    oscillators.prepare (sampleRate);

    envelope.setSampleRate (sampleRate);

    const juce::dsp::ProcessSpec processSpec { sampleRate, (juce::uint32) juce::jmax (1, samplesPerBlock),
                                        (juce::uint32) juce::jmax (1, numOutputChannels) };
    ladder.prepare (processSpec);
    ladder.setMode (juce::dsp::LadderFilterMode::LPF24);

    // Both corners stay below Nyquist at the lowest rates. The coefficients come
    // first so that preparing sizes and clears the state for their order here,
    // not on the audio thread's first sample.
    const float nyquistLimit = 0.5f * sr * 0.9f;
    toneLowPass.coefficients = juce::dsp::IIR::Coefficients<float>::makeFirstOrderLowPass (sampleRate, juce::jmin (nyquistLimit, 5000.0f));
    toneLowPass.prepare (processSpec);
    bassPeak.coefficients = juce::dsp::IIR::Coefficients<float>::makePeakFilter (sampleRate, juce::jmin (nyquistLimit, 70.0f), 0.4f, 2.1f);
    bassPeak.prepare (processSpec);

    gain.prepare (processSpec);
    gain.setRampDurationSeconds (0.0);
    gain.setGainDecibels (volumeDb);

    outputTube.setup (1.0f, 1.0f, 1.1220185f, 3.0f, 10.0f, sr);

    // Room for a whole host block, so rendering never has to grow it.
    synthBuffer.setSize ((int) processSpec.numChannels, (int) processSpec.maximumBlockSize, false, true, true);

    delaySamples = juce::jmax (1, (juce::int32) (0.003f * sr));
    delayLine.assign ((size_t) delaySamples + 2, 0.0f);
    delayWriteIndex = 0;
}

void SynthVoice::updateOscParam (float amount) noexcept
{
    const auto cluster = (int) clusterPreset;

    if (cluster >= 1)
        amount = presetSpans[(size_t) juce::jmin (cluster, 5)];

    currentSpread = amount * swarmControlRange;
}

void SynthVoice::updateSwarm (float env) noexcept
{
    if (releaseHeld)
    {
        currentPitch = heldPitch;
        currentSpread = heldSpread;
        return;
    }

    const float base = aButton == 1 ? noteNumber : pitchFloor + noteNumber;
    const auto range = (size_t) juce::jlimit (0, 5, (int) juce::jlimit (0.0f, 5.0f, pitchRange));
    currentPitch = base + (float) octRange[range] * pitchRibbon;

    float amount;

    if (swarmFilterControl != 0)
    {
        amount = swarmRibbon;
    }
    else
    {
        // The filter knob drives the swarm; tracking is scaled down here, not in the cutoff.
        const float tracking = filterTrackingOn ? (noteNumber - 60.0f) * filterTracking / 60.0f : 0.0f;
        amount = juce::jlimit (0.0f, 1.0f, filterSwarmFrequency + filterEnvelope * env + tracking);
    }

    updateOscParam (amount);
}

void SynthVoice::updateActiveOscillators() noexcept
{
    if (! std::equal (cachedOn.begin(), cachedOn.end(), oscOn))
    {
        std::copy (oscOn, oscOn + cachedOn.size(), cachedOn.begin());
        activeCount = (juce::int32) std::count (cachedOn.begin(), cachedOn.end(), true);

        std::array<juce::int32, 8> lanes;

        for (size_t i = 0; i < cachedOn.size(); ++i)
            lanes[i] = cachedOn[i] ? -1 : 0;

        oscillators.setLanes (lanes.data());

        mixGain = activeCount > 0 ? 1.0f / (float) activeCount : 0.0f;
    }
}

float SynthVoice::mixOscillators() noexcept
{
    alignas (32) std::array<float, 8> out;
    oscillators.process (currentPitch, currentSpread, detune.data(), spreadFactor.data(), waveform, out.data());

    // Summed in oscillator order; a lane that is off gives exactly 0.
    float sum = 0.0f;

    for (const float x : out)
        sum += x;

    return sum * mixGain;
}

float SynthVoice::cutoffHz (float env) noexcept
{
    float n;

    if (swarmFilterControl != 0)
    {
        const float tracking = filterTrackingOn ? (noteNumber - 60.0f) * filterTracking : 0.0f;
        n = filterFrequencyFloor + cutoffSpan * filterSwarmFrequency + cutoffSpan * filterEnvelope * env + tracking;
    }
    else
    {
        n = filterFrequencyFloor + cutoffSpan * swarmRibbon;
    }

    n = juce::jlimit (0.0f, 127.0f, n);

    if (n != cutoffNote)
    {
        cutoffNote = n;
        cutoffNoteHz = juce::jmax (20.0f, noteToHz (n));
    }

    return cutoffNoteHz;
}

void SynthVoice::renderNextBlock (juce::AudioBuffer<float>& outputBuffer, int startSample, int numSamples)
{
    if (! isVoiceActive() || powerOn == 0)
        return;

    const int numChannels = outputBuffer.getNumChannels();
    synthBuffer.setSize (juce::jmax (1, numChannels), numSamples, false, false, true);
    auto* left = synthBuffer.getWritePointer (0);
    auto* right = synthBuffer.getNumChannels() >= 2 ? synthBuffer.getWritePointer (1) : left;

    gain.setGainDecibels (volumeDb);

    if (oscOn == nullptr)
        return;

    // The on flags hold for the whole callback, so they are counted once per render.
    updateActiveOscillators();

    const auto delaySize = (juce::int32) delayLine.size();

    // The gain has no ramp, and without the filter envelope neither the swarm
    // nor the cutoff can move within the call: they are worked out once.
    const float gainFactor = gain.getGainLinear();
    const bool envelopeMovesFilter = filterEnvelope != 0.0f;
    const bool swarmFollowsEnvelope = swarmFilterControl == 0 && envelopeMovesFilter && ! releaseHeld;
    const bool cutoffFollowsEnvelope = swarmFilterControl != 0 && envelopeMovesFilter;

    for (int i = 0; i < numSamples; ++i)
    {
        const float env = envelope.getNextSample();

        if (swarmFollowsEnvelope || i == 0)
            updateSwarm (env);

        const float mix = mixOscillators();

        if (cutoffFollowsEnvelope || i == 0)
        {
            const float cutoff = cutoffHz (env);

            if (cutoff != lastCutoffHz)
            {
                ladder.setCutoffFrequencyHz (cutoff);
                lastCutoffHz = cutoff;
            }
        }

        float x = ladder.processNextSample (mix);
        x = toneLowPass.processSample (x);
        x = bassPeak.processSample (x);
        x = outputTube.perform (x);
        x = x * gainFactor;

        const float y = env * x;
        left[i] = y;

        if (right != left)
        {
            const auto w = delayWriteIndex;
            delayLine[(size_t) w] = y;
            auto r = w - delaySamples;

            if (r < 0)
                r += delaySize;

            right[i] = delayLine[(size_t) r];
            delayWriteIndex = w + 1 == delaySize ? 0 : w + 1;
        }
    }

    // Only the channels the voice wrote: left, and right when there is one.
    if (numChannels >= 1 && numSamples >= 1)
        for (int c = 0; c < juce::jmin (numChannels, 2); ++c)
            outputBuffer.addFrom (c, startSample, synthBuffer, c, 0, numSamples);

    if (! envelope.isActive())
        clearCurrentNote();
}

//==============================================================================
void SwarmSynthesiser::noteOn (int midiChannel, int midiNoteNumber, float velocity)
{
    if (midiChannel != 0)
    {
        juce::Synthesiser::noteOn (midiChannel, midiNoteNumber, velocity);
        return;
    }

    const juce::ScopedLock sl (lock);

    for (auto* sound : sounds)
    {
        if (! (sound->appliesToNote (midiNoteNumber) && sound->appliesToChannel (0)))
            continue;

        for (auto* playing : voices)
            if (playing->getCurrentlyPlayingNote() == midiNoteNumber && playing->isPlayingChannel (0))
                stopVoice (playing, 1.0f, true);

        auto* voice = findFreeVoice (sound, 0, midiNoteNumber, isNoteStealingEnabled());

        if (auto* swarmVoice = dynamic_cast<SynthVoice*> (voice))
            swarmVoice->startingGateNote = true;

        // Started as channel 1 so that JUCE's per-channel tables are read in
        // bounds; the voice marks itself as the gate and answers to channel 0.
        startVoice (voice, sound, 1, midiNoteNumber, velocity);

        if (voice != nullptr)
            voice->setSustainPedalDown (false);
    }
}

juce::SynthesiserVoice* SwarmSynthesiser::findVoiceToSteal (juce::SynthesiserSound* soundToPlay, int, int) const
{
    juce::SynthesiserVoice* oldest = nullptr;

    for (auto* candidate : voices)
        if (candidate->canPlaySound (soundToPlay) && (oldest == nullptr || candidate->wasStartedBefore (*oldest)))
            oldest = candidate;

    return oldest;
}
