#include "SynthVoice.h"

namespace
{
    // Swarm amounts fixed by the cluster presets 1 to 5; 0 means no preset.
    constexpr std::array<float, 6> presetSpans { 0.0f, 0.58f, 1.01f, 1.29f, 1.73f, 2.3f };
}

SaturationTable::SaturationTable()
{
    scaler = (float) (numPoints - 1) / (maxInput - minInput);
    offset = -minInput * scaler;

    for (int i = 0; i < numPoints; ++i)
        table[(size_t) i] = std::tanh (juce::jlimit (minInput, maxInput, juce::jmap ((float) i, 0.0f, (float) (numPoints - 1), minInput, maxInput)));

    table[(size_t) numPoints] = table[(size_t) numPoints - 1];
}

namespace
{
    // The ladder's input saturation, the same for every instance.
    const SaturationTable& saturationTable()
    {
        static const SaturationTable table;
        return table;
    }
}

LadderSample::LadderSample()
{
    core.saturation = &saturationTable();

    // The same start as JUCE's filter: an unrealistic rate that prepare replaces.
    setSampleRate (1000.0f);
    setResonance (0.0f);
    setDrive (1.2f);
    setMode (Mode::LPF12);
}

void LadderSample::setMode (Mode newMode) noexcept
{
    if (newMode == mode)
        return;

    switch (newMode)
    {
        case Mode::LPF12: core.A = { 0.0f, 0.0f, 1.0f, 0.0f, 0.0f }; core.comp = 0.5f; break;
        case Mode::HPF12: core.A = { 1.0f, -2.0f, 1.0f, 0.0f, 0.0f }; core.comp = 0.0f; break;
        case Mode::BPF12: core.A = { 0.0f, 0.0f, -1.0f, 1.0f, 0.0f }; core.comp = 0.5f; break;
        case Mode::LPF24: core.A = { 0.0f, 0.0f, 0.0f, 0.0f, 1.0f }; core.comp = 0.5f; break;
        case Mode::HPF24: core.A = { 1.0f, -4.0f, 6.0f, -4.0f, 1.0f }; core.comp = 0.0f; break;
        case Mode::BPF24: core.A = { 0.0f, 0.0f, 1.0f, -2.0f, 1.0f }; core.comp = 0.5f; break;
        default: jassertfalse; break;
    }

    for (auto& a : core.A)
        a *= 1.2f;

    mode = newMode;
    reset();
}

void LadderSample::prepare (const juce::dsp::ProcessSpec& processSpec)
{
    setSampleRate ((float) processSpec.sampleRate);
    reset();
}

void LadderSample::reset() noexcept
{
    core.state.fill (0.0f);
    cutoffTransformSmoother.setCurrentAndTargetValue (cutoffTransformSmoother.getTargetValue());
    scaledResonanceSmoother.setCurrentAndTargetValue (scaledResonanceSmoother.getTargetValue());
}

void LadderSample::setCutoffFrequencyHz (float newCutoff) noexcept
{
    jassert (newCutoff > 0.0f);
    cutoffFreqHz = newCutoff;
    updateCutoffFreq();
}

void LadderSample::setResonance (float newResonance) noexcept
{
    jassert (newResonance >= 0.0f && newResonance <= 1.0f);
    resonance = newResonance;
    updateResonance();
}

void LadderSample::setDrive (float newDrive) noexcept
{
    jassert (newDrive >= 1.0f);
    core.drive = newDrive;
    core.gain = std::pow (core.drive, (float) -2.642) * (float) 0.6103 + (float) 0.3903;
    core.drive2 = core.drive * (float) 0.04 + (float) 0.96;
    core.gain2 = std::pow (core.drive2, (float) -2.642) * (float) 0.6103 + (float) 0.3903;
}

void LadderSample::setSampleRate (float newValue) noexcept
{
    jassert (newValue > 0.0f);
    cutoffFreqScaler = (float) (-2.0 * juce::MathConstants<double>::pi) / newValue;
    cutoffTransformSmoother.reset (newValue, 0.05f);
    scaledResonanceSmoother.reset (newValue, 0.05f);
    updateCutoffFreq();
}

void LadderSample::updateCutoffFreq() noexcept
{
    cutoffTransformSmoother.setTargetValue (std::exp (cutoffFreqHz * cutoffFreqScaler));
}

void LadderSample::updateResonance() noexcept
{
    scaledResonanceSmoother.setTargetValue (juce::jmap (resonance, 0.1f, 1.0f));
}

bool LadderSample::isSteady() const noexcept
{
    return ! cutoffTransformSmoother.isSmoothing() && ! scaledResonanceSmoother.isSmoothing();
}

LadderCore LadderSample::steadyCore() const noexcept
{
    // At rest a ramp gives its target on every sample.
    auto steady = core;
    steady.a1 = cutoffTransformSmoother.getTargetValue();
    steady.scaledResonance = scaledResonanceSmoother.getTargetValue();
    return steady;
}

//==============================================================================
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

    // Both corners stay below Nyquist at the lowest rates.
    const float nyquistLimit = 0.5f * sr * 0.9f;
    toneLowPass.setCoefficients (juce::dsp::IIR::Coefficients<float>::makeFirstOrderLowPass (sampleRate, juce::jmin (nyquistLimit, 5000.0f)));
    bassPeak.setCoefficients (juce::dsp::IIR::Coefficients<float>::makePeakFilter (sampleRate, juce::jmin (nyquistLimit, 70.0f), 0.4f, 2.1f));

    gain.prepare (processSpec);
    gain.setRampDurationSeconds (0.0);
    gain.setGainDecibels (volumeDb);

    outputTube.setup (1.0f, 1.0f, 1.1220185f, 3.0f, 10.0f, sr);

    // Room for a whole host block, so rendering never has to grow it.
    synthBuffer.setSize ((int) processSpec.numChannels, (int) processSpec.maximumBlockSize, false, true, true);

    delaySamples = juce::jmax (1, (juce::int32) (0.003f * sr));
    delayLine.assign ((size_t) (delaySamples + renderStretch), 0.0f);
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

void SynthVoice::setCutoff (float env) noexcept
{
    const float cutoff = cutoffHz (env);

    if (cutoff != lastCutoffHz)
    {
        ladder.setCutoffFrequencyHz (cutoff);
        lastCutoffHz = cutoff;
    }
}

namespace
{
    // One sample of the mix through the ladder, the tone filters and the output
    // tube, scaled by volume and envelope.
    template <typename Ladder>
    forcedinline float filterChainSample (Ladder& ladder, FilterSection<1>& toneLowPass, FilterSection<2>& bassPeak,
                                          Tube& outputTube, float x, float env, float gainFactor) noexcept
    {
        x = ladder.processNextSample (x);
        x = toneLowPass.processSample (x);
        x = bassPeak.processSample (x);
        x = outputTube.performUpdated (x);
        return env * (x * gainFactor);
    }
}

// One sample at a time through the whole chain, so that the ladder's long
// chain of dependent steps overlaps with the other stages' work.
MURMEX2_AVX2_CLONES
void SynthVoice::renderFilterChain (float* samples, const float* env, int numSamples, float gainFactor,
                                    bool cutoffFollowsEnvelope) noexcept
{
    outputTube.updateIfNeeded();

    if (cutoffFollowsEnvelope || ! ladder.isSteady())
    {
        for (int i = 0; i < numSamples; ++i)
        {
            if (cutoffFollowsEnvelope)
                setCutoff (env[i]);

            samples[i] = filterChainSample (ladder, toneLowPass.section, bassPeak.section, outputTube,
                                            samples[i], env[i], gainFactor);
        }

        return;
    }

    // Nothing moves: every stage runs as a local copy in registers and hands
    // its state back at the end.
    auto ladderCore = ladder.steadyCore();
    auto tone = toneLowPass.section;
    auto peak = bassPeak.section;
    auto tube = outputTube;

    for (int i = 0; i < numSamples; ++i)
        samples[i] = filterChainSample (ladderCore, tone, peak, tube, samples[i], env[i], gainFactor);

    ladder.keepState (ladderCore);
    toneLowPass.section = tone;
    bassPeak.section = peak;
    outputTube = tube;
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

    // No stage feeds back into an earlier one, so the envelope and the swarm
    // each run over a stretch of samples before the filter chain takes it: the
    // same samples as one sample through everything at a time, with each
    // stage's state kept in registers.
    for (int start = 0; start < numSamples; start += renderStretch)
    {
        const int n = juce::jmin (renderStretch, numSamples - start);
        float* const mono = left + start;
        float env[renderStretch], pitch[renderStretch], spread[renderStretch];

        for (int i = 0; i < n; ++i)
            env[i] = envelope.getNextSample();

        for (int i = 0; i < (swarmFollowsEnvelope ? n : 1); ++i)
        {
            if (swarmFollowsEnvelope || start == 0)
                updateSwarm (env[i]);

            pitch[i] = currentPitch;
            spread[i] = currentSpread;
        }

        oscillators.render (pitch, spread, swarmFollowsEnvelope, detune.data(), spreadFactor.data(),
                            waveform, mixGain, mono, n);

        if (start == 0 && ! cutoffFollowsEnvelope)
            setCutoff (env[0]);

        renderFilterChain (mono, env, n, gainFactor, cutoffFollowsEnvelope);

        if (right != left)
        {
            // The stretch goes into the line first and comes out delaySamples
            // later. The line holds a whole stretch beyond the delay, so no
            // sample is overwritten before it has been read.
            const auto w = delayWriteIndex;
            const auto firstWrite = juce::jmin (n, delaySize - w);
            std::copy (mono, mono + firstWrite, delayLine.data() + w);
            std::copy (mono + firstWrite, mono + n, delayLine.data());

            auto r = w - delaySamples;

            if (r < 0)
                r += delaySize;

            const auto firstRead = juce::jmin (n, delaySize - r);
            std::copy (delayLine.data() + r, delayLine.data() + r + firstRead, right + start);
            std::copy (delayLine.data(), delayLine.data() + (n - firstRead), right + start + firstRead);
            delayWriteIndex = (w + n) % delaySize;
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
