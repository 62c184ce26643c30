#include "TestSupport.h"

namespace
{
    bool isSilent (const juce::AudioBuffer<float>& b)
    {
        for (int ch = 0; ch < b.getNumChannels(); ++ch)
            if (peakOf (b, ch) != 0.0f)
                return false;

        return true;
    }

    void setModes (ProcessorFixture& fx, bool a, bool b)
    {
        fx.set ("A Button", a ? 1.0f : 0.0f);
        fx.set ("B Button", b ? 1.0f : 0.0f);
    }
}

TEST (Processor, AnswersTheHostsQuestions)
{
    ProcessorFixture fx;
    auto& p = *fx.processor;

    EXPECT_EQ (p.getName(), "Murmex2");
    EXPECT_TRUE (p.acceptsMidi());
    EXPECT_FALSE (p.producesMidi());
    EXPECT_FALSE (p.isMidiEffect());
    EXPECT_EQ (p.getTailLengthSeconds(), 0.0);
    EXPECT_TRUE (p.hasEditor());

    EXPECT_EQ (p.getNumPrograms(), 1);
    p.setCurrentProgram (3);
    EXPECT_EQ (p.getCurrentProgram(), 0);
    EXPECT_EQ (p.getProgramName (5), "Default");

    EXPECT_EQ (p.getBusCount (true), 0);
    EXPECT_EQ (p.getBusCount (false), 1);
    EXPECT_EQ (p.getBus (false, 0)->getName(), "Output");

    struct LayoutCase { juce::AudioChannelSet in, out; bool accepted; };
    const LayoutCase cases[] = {
        { {}, juce::AudioChannelSet::stereo(), true },
        { {}, juce::AudioChannelSet::mono(), true },
        { juce::AudioChannelSet::create5point1(), juce::AudioChannelSet::mono(), true },
        { {}, juce::AudioChannelSet::create5point1(), false },
        { juce::AudioChannelSet::stereo(), juce::AudioChannelSet::quadraphonic(), false },
    };

    for (const auto& c : cases)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (c.in);
        layout.outputBuses.add (c.out);
        EXPECT_EQ (p.isBusesLayoutSupported (layout), c.accepted) << c.out.getDescription();
    }
}

TEST (Processor, PlayModesDecideWhichMidiReachesTheVoiceAndWhereItsPitchStarts)
{
    struct Case { bool a, b; bool ribbonHeld; bool sounds; float basePitch; };
    const Case cases[] = {
        { true,  false, false, true,  60.0f },
        { true,  true,  false, true,  60.0f },
        { false, false, true,  false, 0.0f },   // all MIDI discarded, even with the ribbon held
        { false, true,  false, false, 0.0f },   // note-ons wait for the ribbon
        { false, true,  true,  true,  80.0f },  // Pitch Floor 20 + note 60
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String ("A ") + (c.a ? "on" : "off") + ", B " + (c.b ? "on" : "off")
                      + (c.ribbonHeld ? ", ribbon held" : ""));
        ProcessorFixture fx;
        setModes (fx, c.a, c.b);
        fx.processor->ribbonGateDown = c.ribbonHeld;

        auto midi = noteOn (60, 10);
        const auto& out = fx.render (midi, 512);

        EXPECT_EQ (fx.voice().isVoiceActive(), c.sounds);
        EXPECT_EQ (! isSilent (out), c.sounds);

        if (c.sounds)
            EXPECT_FLOAT_EQ (fx.voice().currentPitch, c.basePitch);
    }
}

TEST (Processor, WithAOffAndBOnOnlySoundingNoteOnsAreHeldBack)
{
    ProcessorFixture fx;
    setModes (fx, false, true);

    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 3);
    midi.addEvent (juce::MidiMessage::noteOff (1, 61), 5);
    midi.addEvent (juce::MidiMessage::controllerEvent (1, 1, 64), 7);
    midi.addEvent (juce::MidiMessage::noteOn (1, 62, (juce::uint8) 0), 9);
    fx.render (midi, 64);

    juce::Array<int> positions;
    juce::StringArray kinds;

    for (const auto m : midi)
    {
        positions.add (m.samplePosition);
        const auto message = m.getMessage();
        kinds.add (message.isNoteOff (true) ? "off" : message.isController() ? "cc" : "other");
    }

    EXPECT_EQ (positions, juce::Array<int> ({ 5, 7, 9 }));
    EXPECT_EQ (kinds, juce::StringArray ({ "off", "cc", "off" }));
    EXPECT_FALSE (fx.voice().isVoiceActive());
}

TEST (Processor, VelocityZeroNoteOnActsAsANoteOffInTheRibbonMode)
{
    ProcessorFixture fx;
    setModes (fx, false, true);
    fx.processor->ribbonGateDown = true;
    auto on = noteOn (60);
    fx.render (on, 64);
    ASSERT_TRUE (fx.voice().isKeyDown());

    fx.processor->ribbonGateDown = false;
    auto off = noteOn (60, 0, 1, 0);
    fx.render (off, 64);

    // The synthesiser took it as the key's release; the B hold keeps the note sounding.
    EXPECT_FALSE (fx.voice().isKeyDown());
    EXPECT_TRUE (fx.voice().isVoiceActive());
}

TEST (Processor, NoteOffsReleaseUnlessBHoldsAndTheInterruptEndsTheHold)
{
    ProcessorFixture fx;
    fx.set ("Release", 0.05f);
    auto on = noteOn (60);
    fx.render (on, 512);
    auto off = noteOff (60);
    fx.render (off, 512);
    EXPECT_TRUE (fx.voice().releaseHeld);
    for (int i = 0; i < 10; ++i)
        fx.render (512);
    EXPECT_FALSE (fx.voice().isVoiceActive()) << "the release ends and frees the voice";

    fx.set ("B Button", 1.0f);
    auto again = noteOn (64);
    fx.render (again, 512);
    auto ignored = noteOff (64);
    fx.render (ignored, 512);
    EXPECT_TRUE (fx.voice().isVoiceActive());
    EXPECT_FALSE (fx.voice().releaseHeld);

    fx.set ("Pitch Ribbon", 0.5f);
    fx.processor->voiceStopRequest = true;
    fx.render (512);
    EXPECT_FALSE (fx.processor->voiceStopRequest.load());
    EXPECT_TRUE (fx.voice().releaseHeld);
    const float frozen = fx.voice().currentPitch;
    EXPECT_FLOAT_EQ (frozen, 64.0f) << "pitch of the moment the interrupt took effect";

    fx.set ("Pitch Ribbon", 1.0f);
    fx.render (512);
    EXPECT_FLOAT_EQ (fx.voice().currentPitch, frozen) << "the ribbon no longer moves a released note";

    for (int i = 0; i < 10; ++i)
        fx.render (512);
    EXPECT_FALSE (fx.voice().isVoiceActive());
}

TEST (Processor, InterruptRequestWaitsForPrepareAndIsHarmlessWithoutANote)
{
    TempFolder presets;
    Murmex2AudioProcessor p (presets.folder);
    p.voiceStopRequest = true;

    juce::AudioBuffer<float> buffer (2, 64);
    juce::MidiBuffer midi;
    p.processBlock (buffer, midi);
    EXPECT_TRUE (p.voiceStopRequest.load()) << "consumed only once the voice is prepared";

    p.prepareToPlay (44100.0, 64);
    p.processBlock (buffer, midi);
    EXPECT_FALSE (p.voiceStopRequest.load());
    EXPECT_FALSE (p.voice->isVoiceActive());
    EXPECT_EQ (buffer.getMagnitude (0, 64), 0.0f);
}

TEST (Processor, OverlappingNotesTakeTheVoiceAndOnlyTheNewestReleasesIt)
{
    ProcessorFixture fx;
    auto first = noteOn (60);
    fx.render (first, 256);
    auto second = noteOn (64);
    fx.render (second, 256);
    EXPECT_EQ (fx.voice().getCurrentlyPlayingNote(), 64);

    auto releaseFirst = noteOff (60);
    fx.render (releaseFirst, 256);
    EXPECT_FALSE (fx.voice().releaseHeld);
    EXPECT_TRUE (fx.voice().isKeyDown());

    auto releaseSecond = noteOff (64);
    fx.render (releaseSecond, 256);
    EXPECT_TRUE (fx.voice().releaseHeld);
}

TEST (Processor, GateNoteAndMidiNoteZeroNeverEndEachOther)
{
    ProcessorFixture fx;  // A on: MIDI passes, so both sources reach the synthesiser
    auto& synth = fx.processor->synth;

    synth.noteOn (0, 0, 127.0f);
    fx.render (64);
    auto midiOff = noteOff (0);
    fx.render (midiOff, 64);
    EXPECT_TRUE (fx.voice().isKeyDown()) << "a MIDI note-off for note 0 left the gate alone";
    EXPECT_TRUE (fx.voice().isPlayingChannel (0));

    synth.noteOff (0, 0, 127.0f, true);
    EXPECT_FALSE (fx.voice().isKeyDown());

    auto midiOn = noteOn (0);
    fx.render (midiOn, 64);
    EXPECT_TRUE (fx.voice().isKeyDown());
    synth.noteOff (0, 0, 127.0f, true);
    EXPECT_TRUE (fx.voice().isKeyDown()) << "the gate's note-off left MIDI note 0 alone";

    auto midiOff2 = noteOff (0);
    fx.render (midiOff2, 64);
    EXPECT_FALSE (fx.voice().isKeyDown());
}

TEST (Processor, PowerOffFreezesTheNoteAndPowerOnResumesIt)
{
    ProcessorFixture fx;
    fx.set ("Attack", 0.0f);
    fx.set ("Decay", 0.0f);
    fx.set ("Sustain", 1.0f);
    fx.set ("Release", 0.1f);
    auto on = noteOn (60);
    fx.render (on, 512);

    fx.set ("Power On/Off", 0.0f);
    auto off = noteOff (60);
    EXPECT_TRUE (isSilent (fx.render (off, 512)));

    for (int i = 0; i < 200; ++i)
        EXPECT_TRUE (isSilent (fx.render (512)));

    EXPECT_TRUE (fx.voice().isVoiceActive()) << "the release did not advance while powered off";

    fx.set ("Power On/Off", 1.0f);
    EXPECT_FALSE (isSilent (fx.render (512)));

    for (int i = 0; i < 10; ++i)
        fx.render (512);
    EXPECT_FALSE (fx.voice().isVoiceActive());
}

TEST (Processor, SoftClipperKeepsTheBodyAndBendsThePeaks)
{
    struct Case { float in, out, tolerance; };
    const Case cases[] = {
        { 0.5f, 0.5f, 0.0f },
        { 0.8f, 0.8f, 0.0f },
        { 0.9f, 0.892423f, 1.0e-5f },
        { 1.0f, 0.952319f, 1.0e-5f },
        { 2.0f, 1.0f - 2.5e-6f, 1.0e-6f },
        { -1.0f, -0.952319f, 1.0e-5f },
        { 1.0e6f, 1.0f, 0.0f },
    };

    for (const auto& c : cases)
        EXPECT_NEAR (softClip (c.in), c.out, c.tolerance) << c.in;
}

TEST (Processor, AudioCallbackAllocatesNothingAfterTheFirstBlock)
{
    if (! AllocationCounter::isAvailable())
        GTEST_SKIP() << "allocation counting needs the plain allocator";

    for (auto [a, b] : { std::pair { 1, 0 }, { 1, 1 }, { 0, 0 }, { 0, 1 } })
    {
        SCOPED_TRACE (juce::String ("A ") + juce::String (a) + " B " + juce::String (b));
        ProcessorFixture fx (48000.0, 256);
        setModes (fx, a == 1, b == 1);

        juce::MidiBuffer midi;
        juce::Random random (1234);
        long allocations = 0;

        for (int block = 0; block < 400; ++block)
        {
            midi.clear();

            for (int e = 0; e < 24; ++e)
            {
                const int note = random.nextInt (128);
                const int position = random.nextInt (256);

                if (random.nextBool())
                    midi.addEvent (juce::MidiMessage::noteOn (1 + random.nextInt (16), note, (juce::uint8) random.nextInt (128)), position);
                else
                    midi.addEvent (juce::MidiMessage::noteOff (1 + random.nextInt (16), note), position);
            }

            fx.processor->ribbonGateDown = (block / 7) % 2 == 0;
            fx.processor->voiceStopRequest = block % 50 == 0;

            AllocationCounter::arm();
            fx.render (midi, 256);
            const long counted = AllocationCounter::disarm();

            if (block > 0)
                allocations += counted;
        }

        EXPECT_EQ (allocations, 0);
    }
}
