#include "TestSupport.h"

#include <cmath>

namespace
{
    Tube makeTube (float shape, float sampleRate = 44100.0f)
    {
        Tube t;
        t.setup (1.0f, 1.0f, 1.1220185f, shape, 10.0f, sampleRate);
        return t;
    }

    // Frequency of a steady tone from its rising zero crossings.
    double zeroCrossingFrequency (const float* x, int n, double sampleRate)
    {
        int first = -1, last = -1, count = 0;
        double firstPos = 0, lastPos = 0;

        for (int i = 1; i < n; ++i)
        {
            if (x[i - 1] < 0.0f && x[i] >= 0.0f)
            {
                const double pos = (i - 1) + x[i - 1] / (double) (x[i - 1] - x[i]);

                if (first < 0) { first = i; firstPos = pos; }
                else { last = i; lastPos = pos; ++count; }
            }
        }

        return last > 0 ? count * sampleRate / (lastPos - firstPos) : 0.0;
    }

    // Magnitude of one frequency in a signal (Goertzel), normalised to amplitude.
    double toneMagnitude (const float* x, int n, double frequency, double sampleRate)
    {
        const double w = juce::MathConstants<double>::twoPi * frequency / sampleRate;
        double re = 0, im = 0;

        for (int i = 0; i < n; ++i)
        {
            const double window = 0.5 - 0.5 * std::cos (juce::MathConstants<double>::twoPi * i / (n - 1));
            re += x[i] * window * std::cos (w * i);
            im -= x[i] * window * std::sin (w * i);
        }

        return 4.0 * std::sqrt (re * re + im * im) / n;
    }

    SynthVoice& preparedVoice (SynthVoice& v, std::array<bool, 8>& on, double sampleRate = 44100.0)
    {
        v.prepareVoice (sampleRate, 512, 2);
        v.oscOn = on.data();
        return v;
    }
}

//==============================================================================
TEST (Tube, DerivesItsCurveFromShapeAndBias)
{
    auto t = makeTube (2.0f);
    t.updateCoefficients();

    EXPECT_NEAR (t.posLinear, 9.43f, 0.01f);
    EXPECT_NEAR (t.posOffset, -3.71f, 0.01f);
    EXPECT_NEAR (t.posConstant, 13.8f, 0.05f);
    EXPECT_NEAR (t.negOffset, -176.0f, 0.6f);
    EXPECT_NEAR (t.negLinear, 446.0f, 1.0f);
    EXPECT_NEAR (t.negConstant, 3.08e4f, 100.0f);
    EXPECT_NEAR (t.normalise, 0.883f, 0.005f);
    EXPECT_FLOAT_EQ (t.hpCoefficient, 4410.0f / 4411.0f);
    EXPECT_FALSE (t.needsUpdate);
}

TEST (Tube, CompressesThePositiveHalfAndExpandsTheNegative)
{
    struct Case { float shape, input, shaped; };
    const Case cases[] = {
        { 1.0f, 1.0f, 0.942f },
        { 2.0f, 1.0f, 0.883f }, { 2.0f, 0.5f, 0.493f }, { 2.0f, -0.5f, -0.559f }, { 2.0f, -1.0f, -1.11f },
        { 3.0f, 1.0f, 0.823f }, { 3.0f, 0.5f, 0.484f }, { 3.0f, -0.5f, -0.589f }, { 3.0f, -1.0f, -1.17f },
        { 2.0f, 0.0f, 0.0f },
    };

    for (const auto& c : cases)
    {
        auto t = makeTube (c.shape);
        t.perform (c.input);
        EXPECT_NEAR (t.lastShaped, c.shaped, 0.006f) << "shape " << c.shape << " input " << c.input;
    }
}

TEST (Tube, RemovesOffsetsAndSettlesToSilence)
{
    for (const float input : { 0.0f, 0.3f, -0.7f })
    {
        auto t = makeTube (2.0f);
        float out = 0.0f;

        for (int i = 0; i < 441000; ++i)
            out = t.perform (input);

        EXPECT_NEAR (out, 0.0f, 1.0e-4f) << "constant input " << input;
    }
}

TEST (Tube, FirstSampleAfterASettingsChangeUsesTheNewCurve)
{
    auto t = makeTube (2.0f);
    t.perform (1.0f);
    EXPECT_NEAR (t.lastShaped, 0.883f, 0.005f);

    t.shape = 3.0f;
    t.needsUpdate = true;
    t.perform (1.0f);
    EXPECT_NEAR (t.lastShaped, 0.823f, 0.005f);
}

//==============================================================================
namespace
{
    // Runs the bank with only lane 0 on, at one pitch.
    struct SingleLane
    {
        explicit SingleLane (double sampleRate = 44100.0)
        {
            bank.prepare (sampleRate);
            const std::array<juce::int32, 8> on { -1, 0, 0, 0, 0, 0, 0, 0 };
            bank.setLanes (on.data());
        }

        float process (float pitch, int waveform)
        {
            const std::array<float, 8> none {};
            const float spread = 0.0f;
            float out;
            bank.render (&pitch, &spread, false, none.data(), none.data(), waveform, 1.0f, &out, 1);
            return out;
        }

        SwarmBank bank;
    };
}

TEST (SwarmBank, FreshSawtoothStartsAtZeroRising)
{
    SingleLane osc;
    osc.process (57.0f, 1);
    EXPECT_FLOAT_EQ (osc.bank.sawPrevious[0], 0.0f);
    osc.process (57.0f, 1);
    EXPECT_GT (osc.bank.sawPrevious[0], 0.0f);
}

TEST (SwarmBank, SawtoothSplitsItsStepOverTwoSamples)
{
    // At 4410 Hz dt is 0.1: the samples either side of the wrap are ±0.65
    // instead of the naive ramp's 0.9 and -0.9.
    SingleLane osc;
    const float note = 69.0f + 12.0f * std::log2 (4410.0f / 440.0f);
    osc.bank.sawPhase[0] = 0.45f;  // t = 0.95
    osc.process (note, 1);
    EXPECT_NEAR (osc.bank.sawPrevious[0], 0.65f, 2.0e-3f);
    osc.process (note, 1);
    EXPECT_NEAR (osc.bank.sawPrevious[0], -0.65f, 2.0e-3f);
}

TEST (SwarmBank, DriftStepsEvery64thSampleWithinFiveCents)
{
    SingleLane osc;
    osc.bank.seedDrift (99);

    for (int i = 0; i < 63; ++i)
    {
        osc.process (60.0f, 0);
        ASSERT_EQ (osc.bank.drift[0], 0.0f) << "sample " << i;
    }

    float previous = osc.bank.drift[0];
    int changes = 0;

    for (int i = 63; i < 63 + 64 * 200; ++i)
    {
        osc.process (60.0f, 0);
        const float drift = osc.bank.drift[0];
        ASSERT_GE (drift, -0.05f);
        ASSERT_LT (drift, 0.05f);

        if (drift != previous)
        {
            ++changes;
            EXPECT_EQ ((i - 63) % 64, 0) << "drift moved between draws at sample " << i;
        }

        previous = drift;
    }

    EXPECT_GT (changes, 190);
    EXPECT_EQ (osc.bank.driftCounter[1], 0) << "a lane that is off does not count";
}

TEST (SwarmBank, FrequencyIsLimitedTo20HzAnd15kHz)
{
    struct Case { float pitch; float expectedHz; };
    const Case cases[] = { { -40.0f, 20.0f }, { 140.0f, 15000.0f }, { 69.0f, 440.0f } };

    for (const auto& c : cases)
    {
        SingleLane osc (48000.0);
        osc.bank.sinePhase[0] = 0.25f;
        osc.process (c.pitch, 0);
        EXPECT_NEAR ((osc.bank.sinePhase[0] - 0.25f) * 48000.0f, c.expectedHz, c.expectedHz * 1.0e-4f) << c.pitch;
    }
}

TEST (SwarmBank, SinePhaseWrapsIntoTheUnitInterval)
{
    SingleLane osc;

    for (int i = 0; i < 100000; ++i)
    {
        osc.process (130.0f, 0);
        ASSERT_GE (osc.bank.sinePhase[0], 0.0f);
        ASSERT_LT (osc.bank.sinePhase[0], 1.0f);
    }
}

TEST (SwarmBank, SawtoothAboveTheSampleRateStaysBounded)
{
    // At 8 kHz the 15 kHz ceiling gives a phase step above a whole cycle.
    SingleLane osc (8000.0);

    for (int i = 0; i < 10000; ++i)
        ASSERT_TRUE (std::isfinite (osc.process (140.0f, 1)));
}

TEST (SwarmBank, LongRunsGiveTheSameSamplesAsOneSampleAtATime)
{
    // The bank keeps its lanes in registers over runs of samples; a run must not
    // change a single bit against the same samples asked for one by one, across
    // drift draws, a pitch that moves per sample and lanes switched mid-way.
    struct Case { int waveform; bool perSample; };
    const Case cases[] = { { 1, false }, { 0, false }, { 1, true }, { 0, true } };

    for (const auto& c : cases)
    {
        SwarmBank whole, single;

        for (auto* bank : { &whole, &single })
        {
            bank->prepare (48000.0);
            bank->seedDrift (5);
        }

        constexpr int n = 700;
        std::array<float, n> pitch, spread, wholeOut, singleOut;

        for (int i = 0; i < n; ++i)
        {
            pitch[(size_t) i] = c.perSample ? 57.0f + 0.01f * (float) i : 57.0f;
            spread[(size_t) i] = c.perSample ? 0.002f * (float) i : 0.3f;
        }

        const std::array<float, 8> detune { 0.0f, 0.008f, 0.01f, 0.02f, 0.03f, 0.04f, 0.05f, 0.06f };
        const std::array<float, 8> factor { 0.0f, 1.01f, 1.99f, 3.003f, 4.02f, 4.98f, 6.04f, 6.95f };
        // All on, some off, none on and some on again, 175 samples each.
        const std::array<std::array<juce::int32, 8>, 4> phases { { { -1, -1, -1, -1, -1, -1, -1, -1 },
                                                                   { -1, 0, -1, -1, 0, -1, -1, -1 },
                                                                   {},
                                                                   { 0, -1, 0, 0, -1, 0, 0, 0 } } };
        constexpr int phaseLength = n / 4;

        for (int phase = 0; phase < 4; ++phase)
        {
            const int from = phase * phaseLength;
            whole.setLanes (phases[(size_t) phase].data());
            single.setLanes (phases[(size_t) phase].data());

            whole.render (pitch.data() + from, spread.data() + from, c.perSample, detune.data(), factor.data(),
                          c.waveform, 0.125f, wholeOut.data() + from, phaseLength);

            for (int i = from; i < from + phaseLength; ++i)
                single.render (pitch.data() + i, spread.data() + i, c.perSample, detune.data(), factor.data(),
                               c.waveform, 0.125f, singleOut.data() + i, 1);
        }

        for (int i = 0; i < n; ++i)
            ASSERT_EQ (wholeOut[(size_t) i], singleOut[(size_t) i]) << "waveform " << c.waveform << ", sample " << i;

        EXPECT_EQ (whole.sawPhase[1], single.sawPhase[1]);
        EXPECT_EQ (whole.tubeState.dcPrevOut[4], single.tubeState.dcPrevOut[4]);
    }
}

TEST (Ladder, GivesJucesLadderFilterSamplesBitForBit)
{
    // Cutoff and resonance ramps, drive and every mode, against JUCE's own
    // filter on the same input; the rebuilt ladder must not differ at all.
    class JuceLadder : public juce::dsp::LadderFilter<float>
    {
    public:
        float next (float x) { updateSmoothers(); return processSample (x, 0); }
    };

    const SaturationTable table;
    const juce::dsp::LookupTableTransform<float> juceTable { [] (float x) { return std::tanh (x); }, -5.0f, 5.0f, 128 };

    for (float x = -6.0f; x <= 6.0f; x += 1.0e-4f)
        ASSERT_EQ (table (x), juceTable (x)) << "saturation of " << x;

    using Mode = juce::dsp::LadderFilterMode;

    for (auto mode : { Mode::LPF24, Mode::LPF12, Mode::HPF12, Mode::BPF12, Mode::HPF24, Mode::BPF24 })
    {
        JuceLadder reference;
        LadderSample ladder;
        const juce::dsp::ProcessSpec processSpec { 48000.0, 512, 2 };
        reference.prepare (processSpec);
        ladder.prepare (processSpec);
        reference.setMode (mode);
        ladder.setMode (mode);

        juce::Random random (3);
        std::array<float, 512> block;

        for (int b = 0; b < 40; ++b)
        {
            const float cutoff = 30.0f + 15000.0f * random.nextFloat();
            const float resonance = 0.98f * random.nextFloat();
            const float drive = 1.0f + 9.0f * random.nextFloat();

            reference.setCutoffFrequencyHz (cutoff);
            reference.setResonance (resonance);
            reference.setDrive (drive);
            ladder.setCutoffFrequencyHz (cutoff);
            ladder.setResonance (resonance);
            ladder.setDrive (drive);

            for (auto& x : block)
                x = 2.0f * random.nextFloat() - 1.0f;

            std::array<float, 512> expected;

            for (size_t i = 0; i < block.size(); ++i)
                expected[i] = reference.next (block[i]);

            for (auto& x : block)
                x = ladder.processNextSample (x);

            for (size_t i = 0; i < block.size(); ++i)
                ASSERT_EQ (block[i], expected[i]) << "mode " << (int) mode << ", block " << b << ", sample " << i;
        }
    }
}

//==============================================================================
TEST (SwarmLaw, PitchFollowsNoteFloorRangeAndRibbon)
{
    SynthVoice v;
    v.pitchRange = 2.0f;
    v.pitchRibbon = 0.5f;
    v.aButton = 1;
    v.noteNumber = 57.0f;
    v.updateSwarm (0.0f);
    EXPECT_FLOAT_EQ (v.currentPitch, 75.0f);

    v.aButton = 0;
    v.pitchFloor = 20.0f;
    v.noteNumber = 0.0f;
    v.pitchRibbon = 0.0f;
    v.updateSwarm (0.0f);
    EXPECT_FLOAT_EQ (v.currentPitch, 20.0f);
    EXPECT_NEAR (noteToHz (v.currentPitch), 25.96f, 0.01f);

    struct RangeCase { float range; float span; };
    for (const auto& c : { RangeCase { -1.0f, 12.0f }, { 0.5f, 12.0f }, { 3.0f, 48.0f }, { 5.0f, 72.0f }, { 9.0f, 72.0f } })
    {
        v.pitchRange = c.range;
        v.pitchRibbon = 1.0f;
        v.updateSwarm (0.0f);
        EXPECT_FLOAT_EQ (v.currentPitch, 20.0f + c.span) << "Pitch Range " << c.range;
    }
}

TEST (SwarmLaw, AmountComesFromRibbonKnobOrClusterPreset)
{
    struct Case
    {
        int swarmFilterControl; int cluster; float ribbon, knob, envAmount, env, tracking; bool trackingOn; float note, range;
        float expectedSpread;
    };
    const Case cases[] = {
        { 1, 0, 0.4f, 0.9f, 0.0f, 0.0f, 0.0f, false, 60.0f, 1.0f, 0.4f },   // the ribbon drives the swarm
        { 1, 0, 1.7f, 0.0f, 0.0f, 0.0f, 0.0f, false, 60.0f, 1.0f, 1.7f },   // unlimited in ribbon mode
        { 0, 0, 0.9f, 0.7f, 0.5f, 1.0f, 0.0f, false, 60.0f, 0.5f, 0.5f },   // 1.2 limited to 1
        { 0, 0, 0.0f, 0.2f, 0.0f, 0.0f, 1.0f, true, 120.0f, 1.0f, 1.0f },   // tracking adds (note-60)/60
        { 0, 0, 0.0f, 0.9f, 0.0f, 0.0f, 1.0f, true, 0.0f, 1.0f, 0.0f },     // and subtracts below 60
        { 0, 0, 0.0f, 0.2f, 0.0f, 0.0f, 1.0f, true, 90.0f, 1.0f, 0.7f },
        { 0, 0, 0.0f, 0.2f, 0.0f, 0.0f, 1.0f, false, 90.0f, 1.0f, 0.2f },
        { 1, 3, 0.9f, 0.1f, 0.0f, 0.0f, 0.0f, false, 60.0f, 0.5f, 0.645f }, // a cluster preset replaces both
        { 0, 5, 0.9f, 0.1f, 0.0f, 0.0f, 0.0f, false, 60.0f, 1.0f, 2.3f },
        { 1, 1, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, false, 60.0f, 1.0f, 0.58f },
    };

    for (const auto& c : cases)
    {
        SynthVoice v;
        v.swarmFilterControl = c.swarmFilterControl;
        v.clusterPreset = (float) c.cluster;
        v.swarmRibbon = c.ribbon;
        v.filterSwarmFrequency = c.knob;
        v.filterEnvelope = c.envAmount;
        v.filterTracking = c.tracking;
        v.filterTrackingOn = c.trackingOn;
        v.noteNumber = c.note;
        v.swarmControlRange = c.range;
        v.updateSwarm (c.env);
        EXPECT_NEAR (v.currentSpread, c.expectedSpread, 1.0e-5f)
            << "control " << c.swarmFilterControl << " cluster " << c.cluster << " note " << c.note;
    }
}

TEST (SwarmLaw, NoteOffFreezesPitchAndSpreadUntilTheNextNote)
{
    ProcessorFixture fx;
    fx.set ("Swarm Ribbon", 0.3f);
    auto on = noteOn (60);
    fx.render (on, 256);
    auto off = noteOff (60);
    fx.render (off, 256);
    const float pitch = fx.voice().currentPitch, spread = fx.voice().currentSpread;

    fx.set ("Pitch Ribbon", 1.0f);
    fx.set ("Swarm Ribbon", 1.0f);
    fx.render (256);
    EXPECT_FLOAT_EQ (fx.voice().currentPitch, pitch);
    EXPECT_FLOAT_EQ (fx.voice().currentSpread, spread);

    auto next = noteOn (62);
    fx.render (next, 256);
    EXPECT_FLOAT_EQ (fx.voice().currentPitch, 62.0f + 36.0f);
    EXPECT_FLOAT_EQ (fx.voice().currentSpread, 0.5f);
}

namespace
{
    // One sample of the voice's oscillator mix at its present pitch and spread.
    float mixOneSample (SynthVoice& v)
    {
        float out;
        v.oscillators.render (&v.currentPitch, &v.currentSpread, false, v.detune.data(), v.spreadFactor.data(),
                              v.waveform, v.mixGain, &out, 1);
        return out;
    }
}

TEST (Mixing, CountsTheSwitchedOnOscillatorsAndFreezesTheOthers)
{
    SynthVoice v;
    std::array<bool, 8> on { true, true, false, true, true, true, true, true };
    preparedVoice (v, on);
    v.waveform = 1;
    v.currentPitch = 60.0f;

    v.updateActiveOscillators();
    mixOneSample (v);
    EXPECT_EQ (v.activeCount, 7);
    EXPECT_FLOAT_EQ (v.mixGain, 1.0f / 7.0f);

    const float frozenPhase = v.oscillators.sawPhase[2];
    const float runningPhase = v.oscillators.sawPhase[3];
    for (int i = 0; i < 100; ++i)
        mixOneSample (v);
    EXPECT_EQ (v.oscillators.sawPhase[2], frozenPhase);
    EXPECT_NE (v.oscillators.sawPhase[3], runningPhase);

    on = { true, false, false, false, false, false, false, false };
    v.updateActiveOscillators();
    mixOneSample (v);
    EXPECT_EQ (v.activeCount, 1);
    EXPECT_FLOAT_EQ (v.mixGain, 1.0f);

    on = {};
    const float phase0 = v.oscillators.sawPhase[0];
    v.updateActiveOscillators();
    EXPECT_EQ (mixOneSample (v), 0.0f);
    EXPECT_EQ (v.mixGain, 0.0f);
    EXPECT_EQ (v.oscillators.sawPhase[0], phase0) << "no oscillator advances when all are off";

    on[2] = true;
    v.updateActiveOscillators();
    mixOneSample (v);
    EXPECT_NE (v.oscillators.sawPhase[2], frozenPhase) << "switched back on, it continues where it stopped";
}

//==============================================================================
TEST (CutoffLaw, FollowsFloorKnobEnvelopeTrackingAndRibbon)
{
    struct Case
    {
        int control; float floor, knob, envAmount, env, ribbon, tracking; bool trackingOn; float note;
        float expectedNote;
    };
    const Case cases[] = {
        { 1, 72.0f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f, true, 60.0f, 96.0f },     // defaults: about 2093 Hz
        { 0, 72.0f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f, true, 60.0f, 72.0f },     // ribbon mode, ribbon at rest
        { 0, 60.0f, 0.5f, 1.0f, 1.0f, 1.0f, 1.0f, true, 90.0f, 108.0f },    // ribbon mode ignores knob, envelope and tracking
        { 1, 20.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, false, 60.0f, 68.0f },    // envelope adds 48
        { 1, 80.0f, 0.0f, -1.0f, 1.0f, 0.0f, 0.0f, false, 60.0f, 32.0f },   // and subtracts 48
        { 1, 40.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, true, 72.0f, 52.0f },     // tracking one to one, unscaled
        { 1, 40.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, true, 72.0f, 28.0f },
        { 1, 127.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, false, 60.0f, 127.0f },  // limited at the top
        { 1, 0.0f, 0.0f, -1.0f, 1.0f, 0.0f, 0.0f, false, 60.0f, 0.0f },     // and at the bottom
    };

    for (const auto& c : cases)
    {
        SynthVoice v;
        v.swarmFilterControl = c.control;
        v.filterFrequencyFloor = c.floor;
        v.filterSwarmFrequency = c.knob;
        v.filterEnvelope = c.envAmount;
        v.swarmRibbon = c.ribbon;
        v.filterTracking = c.tracking;
        v.filterTrackingOn = c.trackingOn;
        v.noteNumber = c.note;

        const float expectedHz = juce::jmax (20.0f, 440.0f * std::pow (2.0f, (c.expectedNote - 69.0f) / 12.0f));
        EXPECT_NEAR (v.cutoffHz (c.env), expectedHz, expectedHz * 1.0e-5f) << "expected note " << c.expectedNote;
    }

    SynthVoice defaults;
    defaults.swarmFilterControl = 1;
    defaults.filterFrequencyFloor = 72.0f;
    defaults.filterSwarmFrequency = 0.5f;
    EXPECT_NEAR (defaults.cutoffHz (0.0f), 2093.0f, 0.05f);
    defaults.filterFrequencyFloor = 127.0f;
    EXPECT_NEAR (defaults.cutoffHz (0.0f), 12543.9f, 0.5f);
    defaults.filterFrequencyFloor = 0.0f;
    defaults.filterSwarmFrequency = 0.0f;
    EXPECT_EQ (defaults.cutoffHz (0.0f), 20.0f);
}

TEST (FixedFilters, CornersSitBelowNyquistAtEveryRate)
{
    struct Case { double rate; double lowPassCorner; };
    for (const auto& c : { Case { 44100.0, 5000.0 }, { 8000.0, 3600.0 }, { 384000.0, 5000.0 } })
    {
        SynthVoice v;
        v.prepareVoice (c.rate, 512, 2);
        EXPECT_NEAR (v.toneLowPass.coefficients->getMagnitudeForFrequency (c.lowPassCorner, c.rate), std::sqrt (0.5), 1.0e-3)
            << c.rate;
        EXPECT_NEAR (v.bassPeak.coefficients->getMagnitudeForFrequency (70.0, c.rate), 2.1, 1.0e-3) << c.rate;
        EXPECT_LT (v.bassPeak.coefficients->getMagnitudeForFrequency (700.0, c.rate), 1.2);
    }
}

//==============================================================================
TEST (FixedFilters, GiveJucesIirFilterSamplesBitForBit)
{
    using Coefficients = juce::dsp::IIR::Coefficients<float>;
    juce::dsp::IIR::Filter<float> juceLowPass (Coefficients::makeFirstOrderLowPass (48000.0, 5000.0f));
    juce::dsp::IIR::Filter<float> jucePeak (Coefficients::makePeakFilter (48000.0, 70.0f, 0.4f, 2.1f));
    FixedFilter<1> lowPass;
    FixedFilter<2> peak;
    lowPass.setCoefficients (juceLowPass.coefficients);
    peak.setCoefficients (jucePeak.coefficients);

    juce::Random random (11);

    for (int i = 0; i < 20000; ++i)
    {
        const float x = 2.0f * random.nextFloat() - 1.0f;
        ASSERT_EQ (lowPass.section.processSample (x), juceLowPass.processSample (x)) << "sample " << i;
        ASSERT_EQ (peak.section.processSample (x), jucePeak.processSample (x)) << "sample " << i;
    }
}

TEST (Voice, RightChannelIsTheLeftDelayedThreeMilliseconds)
{
    for (auto [rate, delay] : { std::pair { 44100.0, 132 }, { 48000.0, 144 }, { 8000.0, 24 } })
    {
        SCOPED_TRACE (rate);
        ProcessorFixture fx (rate, 2048);
        auto on = noteOn (60);
        const auto& out = fx.render (on, 2048);

        EXPECT_EQ (fx.voice().delaySamples, delay);
        for (int i = 0; i < delay; ++i)
            ASSERT_EQ (out.getSample (1, i), 0.0f) << i;

        for (int i = delay; i < 2048; ++i)
            ASSERT_EQ (out.getSample (1, i), out.getSample (0, i - delay)) << i;
    }
}

TEST (Voice, MonoOutputWritesOnlyTheLeftChannel)
{
    ProcessorFixture fx (44100.0, 512, 1);
    auto on = noteOn (60);
    const auto& out = fx.render (on, 512);
    EXPECT_EQ (out.getNumChannels(), 1);
    EXPECT_GT (peakOf (out, 0), 0.0f);
}

TEST (Voice, VolumeScalesTheOutputAtOnce)
{
    auto renderAt = [] (float volumeDb)
    {
        ProcessorFixture fx;
        fx.set ("Volume", volumeDb);
        auto on = noteOn (60);
        fx.render (on, 4096);
        return juce::AudioBuffer<float> (fx.render (4096));
    };

    const auto loud = renderAt (0.0f);
    const auto quiet = renderAt (-72.0f);
    ASSERT_LT (peakOf (loud, 0), 0.8f) << "stays below the clipper so the ratio is exact";
    EXPECT_NEAR (peakOf (quiet, 0) / peakOf (loud, 0), 0.000251, 0.000002);
}

TEST (Voice, SineOscillatorOneAloneSoundsAt440Hz)
{
    ProcessorFixture fx (48000.0, 48000);
    for (int i = 2; i <= 8; ++i)
        fx.set (ParamIDs::oscOn[(size_t) i - 1], 0.0f);
    fx.set ("Sin/Saw", 0.0f);
    fx.set ("Attack", 0.0f);
    fx.set ("Sustain", 1.0f);

    auto on = noteOn (69);
    fx.render (on, 48000);
    const auto& out = fx.render (48000);

    const double hz = zeroCrossingFrequency (out.getReadPointer (0), 48000, 48000.0);
    const double cents = 1200.0 * std::log2 (hz / 440.0);
    EXPECT_LT (std::abs (cents), 5.0) << hz << " Hz";
}

TEST (Voice, SpreadFansThePartialsOutUpwards)
{
    // Swarm ribbon 1 with full range: oscillator i sits spreadFactor[i] semitones up.
    ProcessorFixture fx (48000.0, 1 << 15);
    fx.set ("Sin/Saw", 0.0f);
    fx.set ("Attack", 0.0f);
    fx.set ("Sustain", 1.0f);
    fx.set ("Swarm Ribbon", 1.0f);
    fx.set ("Swarm Control Range", 1.0f);
    fx.set ("Filter Frequency Floor", 127.0f);

    auto on = noteOn (45);
    fx.render (on, 1 << 15);
    const auto& out = fx.render (1 << 15);
    const auto* x = out.getReadPointer (0);
    const int n = out.getNumSamples();

    for (size_t i = 0; i < 8; ++i)
    {
        const double partial = 440.0 * std::pow (2.0, (45.0 + SynthVoice::detune[i] + SynthVoice::spreadFactor[i] - 69.0) / 12.0);
        const double between = partial * std::pow (2.0, 0.5 / 12.0);
        EXPECT_GT (toneMagnitude (x, n, partial, 48000.0), 4.0 * toneMagnitude (x, n, between, 48000.0))
            << "oscillator " << i + 1 << " at " << partial << " Hz";
    }
}

TEST (Voice, ZeroLengthStagesSoundAtSustainAndStopDead)
{
    ProcessorFixture fx;
    fx.set ("Attack", 0.0f);
    fx.set ("Decay", 0.0f);
    fx.set ("Release", 0.0f);
    fx.set ("Sustain", 0.8f);
    fx.render (1);  // the envelope takes the settings

    auto on = noteOn (60);
    fx.render (on, 64);
    EXPECT_TRUE (fx.voice().envelope.isActive());

    auto off = noteOff (60, 10);
    const auto& out = fx.render (off, 64);
    EXPECT_FALSE (fx.voice().isVoiceActive());
    for (int i = 10; i < 64; ++i)
        ASSERT_EQ (out.getSample (0, i), 0.0f) << i;
}

TEST (Envelope, ReleaseRateIsRecomputedFromSustainAtTheNextBlock)
{
    // Sustain 0.5, Release 1 s, released at 0.9 during the attack: 0.9 per
    // second for the rest of the block, then 0.5 per second.
    const double sr = 1000.0;
    AdsrData env;
    env.setSampleRate (sr);
    env.update (1.0f, 1.0f, 0.5f, 1.0f);
    env.noteOn();

    float level = 0.0f;
    for (int i = 0; i < 900; ++i)
        level = env.getNextSample();
    ASSERT_NEAR (level, 0.9f, 0.002f);

    env.noteOff();
    float a = env.getNextSample(), b = env.getNextSample();
    EXPECT_NEAR (a - b, 0.9f / 1000.0f, 1.0e-5f);

    env.update (1.0f, 1.0f, 0.5f, 1.0f);
    a = env.getNextSample();
    b = env.getNextSample();
    EXPECT_NEAR (a - b, 0.5f / 1000.0f, 1.0e-5f);
}

TEST (Envelope, SustainZeroEndsTheReleaseAtTheNextBlock)
{
    ProcessorFixture fx;
    fx.set ("Sustain", 0.0f);
    fx.set ("Release", 2.0f);
    auto on = noteOn (60);
    fx.render (on, 512);

    auto off = noteOff (60, 100);
    const auto& during = fx.render (off, 512);
    EXPECT_GT (peakOf (during, 0), 0.0f) << "sounds on until the end of the block";
    EXPECT_TRUE (fx.voice().isVoiceActive());

    const auto& after = fx.render (512);
    EXPECT_EQ (peakOf (after, 0), 0.0f);
    EXPECT_FALSE (fx.voice().isVoiceActive());
}

TEST (Envelope, ReleaseEndingInsideABlockLeavesTheRestSilentAndFreesTheVoice)
{
    ProcessorFixture fx (1000.0, 512);
    fx.set ("Attack", 0.0f);
    fx.set ("Decay", 0.0f);
    fx.set ("Sustain", 1.0f);
    fx.set ("Release", 0.1f);
    auto on = noteOn (60);
    fx.render (on, 64);

    auto off = noteOff (60, 0);
    const auto& out = fx.render (off, 512);
    EXPECT_FALSE (fx.voice().isVoiceActive());
    for (int i = 200; i < 512; ++i)
        ASSERT_EQ (out.getSample (0, i), 0.0f) << i;
}

TEST (Voice, SilenceAfterALongReleaseIsExactlyZeroAndNeverSubnormal)
{
    ProcessorFixture fx (96000.0, 1024);
    fx.set ("Release", 0.2f);
    fx.set ("Filter Resonance", 0.98f);
    auto on = noteOn (40);
    fx.render (on, 1024);
    auto off = noteOff (40);
    fx.render (off, 1024);

    for (int block = 0; block < 200; ++block)
    {
        const auto& out = fx.render (1024);

        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 1024; ++i)
                ASSERT_NE (std::fpclassify (out.getSample (ch, i)), FP_SUBNORMAL);
    }

    EXPECT_FALSE (fx.voice().isVoiceActive());
    EXPECT_EQ (peakOf (fx.render (1024), 0), 0.0f);
}

TEST (Voice, EveryRateAndBlockSizeGivesFiniteBoundedSound)
{
    for (const double rate : { 8000.0, 22050.0, 44100.0, 96000.0, 192000.0, 384000.0 })
    {
        for (const int block : { 1, 3, 64, 1000, 8192 })
        {
            for (const int channels : { 1, 2 })
            {
                SCOPED_TRACE (juce::String (rate) + " Hz, block " + juce::String (block) + ", channels " + juce::String (channels));
                ProcessorFixture fx (rate, block, channels);
                fx.set ("Filter Resonance", 0.98f);
                fx.set ("Filter Drive", 10.0f);
                fx.set ("Volume", 12.0f);
                fx.set ("Attack", 0.0f);
                fx.set ("Swarm Ribbon", 1.0f);

                const int total = (int) rate / 10;
                float peak = 0.0f;

                for (int done = 0, n = 0; done < total; done += block, ++n)
                {
                    auto midi = n == 0 ? noteOn (96) : juce::MidiBuffer();
                    const auto& out = fx.render (midi, block);

                    for (int ch = 0; ch < channels; ++ch)
                    {
                        for (int i = 0; i < block; ++i)
                        {
                            const float x = out.getSample (ch, i);
                            ASSERT_TRUE (std::isfinite (x));
                            ASSERT_LE (std::abs (x), 1.0f);
                            peak = std::max (peak, std::abs (x));
                        }
                    }
                }

                EXPECT_GT (peak, 0.01f);
            }
        }
    }
}
