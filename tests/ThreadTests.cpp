#include "TestSupport.h"

#include <thread>

namespace juce
{
    // JUCE's own message pump: the parameter tree's timer runs through it.
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

// Everything that meets in a running instance at once: the audio thread with
// MIDI, the pitch ribbon's gate from the message thread, host automation from
// a thread of its own, and state saves and restores with the message loop
// running. Built with ThreadSanitizer this is the race check; without it, it
// still checks that the audio stays clean throughout.
TEST (Threads, AudioGateAutomationAndStateAllAtOnce)
{
    ProcessorFixture fx (48000.0, 128);
    auto& p = *fx.processor;

    std::atomic<bool> running { true };
    std::atomic<int> blocks { 0 };
    juce::String badSample;

    std::thread audio ([&]
    {
        juce::Random random (1);
        juce::AudioBuffer<float> buffer (2, 128);
        juce::MidiBuffer midi;

        while (running)
        {
            midi.clear();

            if (random.nextInt (3) == 0)
                midi.addEvent (juce::MidiMessage::noteOn (1 + random.nextInt (16), random.nextInt (128), (juce::uint8) 100), random.nextInt (128));

            if (random.nextInt (3) == 0)
                midi.addEvent (juce::MidiMessage::noteOff (1 + random.nextInt (16), random.nextInt (128)), random.nextInt (128));

            buffer.clear();
            p.processBlock (buffer, midi);

            for (int ch = 0; ch < 2 && badSample.isEmpty(); ++ch)
                for (int i = 0; i < buffer.getNumSamples(); ++i)
                    if (const auto x = buffer.getSample (ch, i); ! std::isfinite (x) || std::abs (x) > 1.0f)
                        badSample = juce::String (x) + " in block " + juce::String (blocks.load());

            ++blocks;
        }
    });

    std::thread automation ([&]
    {
        juce::Random random (2);

        while (running)
            for (auto* parameter : p.getParameters())
                parameter->setValueNotifyingHost (random.nextFloat());
    });

    juce::Random random (3);
    juce::MemoryBlock state;
    const auto until = juce::Time::getMillisecondCounter() + 1500;
    int rounds = 0;

    for (; juce::Time::getMillisecondCounter() < until || rounds < 50; ++rounds)
    {
        const bool down = ! p.ribbonGateDown.load();

        if (down)
            p.synth.noteOn (0, 0, 127.0f);
        else
            p.synth.noteOff (0, 0, 127.0f, true);

        p.ribbonGateDown = down;

        if (random.nextBool())
            p.voiceStopRequest = true;

        p.getStateInformation (state);

        if (random.nextBool())
            p.setStateInformation (state.getData(), (int) state.getSize());

        // Lets the parameter tree's timer write values back, as in a host.
        for (int i = 0; i < 20 && juce::dispatchNextMessageOnSystemQueue (true); ++i)
        {
        }
    }

    running = false;
    audio.join();
    automation.join();

    EXPECT_TRUE (badSample.isEmpty()) << badSample;
    EXPECT_GT (blocks.load(), 50);
}
