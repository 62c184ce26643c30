#include "TestSupport.h"

#include <cstdlib>

// Seeded renders of a few settings, stored as raw little-endian floats (left
// and right interleaved). They catch any unintended change of sound. After an
// intended change, regenerate them with
//   MURMEX2_UPDATE_GOLDEN=1 build/tests/murmex2-tests --gtest_filter='Golden*'
// and say why in the commit.
namespace
{
    struct GoldenCase
    {
        const char* name;
        std::vector<std::pair<const char*, float>> settings;
        int note;     // -1 plays the ribbon gate instead of a MIDI note
    };

    const GoldenCase goldenCases[] = {
        { "saw-defaults", {}, 57 },
        { "sine-spread", { { "Sin/Saw", 0 }, { "Swarm Ribbon", 0.6f }, { "Swarm Control Range", 1 } }, 45 },
        { "cluster-3", { { "Cluster Preset", 3 }, { "Filter Resonance", 0.8f } }, 50 },
        { "filter-envelope", { { "Filter Envelope", 0.8f }, { "Attack", 0.005f }, { "Decay", 0.04f }, { "Sustain", 0.2f },
                               { "Release", 0.02f }, { "Filter Drive", 8 }, { "Filter Frequency Floor", 40 } }, 40 },
        { "knob-drives-swarm", { { "Swarm/Filter Control", 0 }, { "Filter Tracking", 1 }, { "Filter/Swarm Frequency", 0.3f },
                                 { "Swarm Ribbon", 0.5f } }, 72 },
        { "ribbon-gate", { { "A Button", 0 }, { "Pitch Floor", 30 }, { "Pitch Ribbon", 0.3f }, { "Filter Tracking On/Off", 0 } }, -1 },
    };

    constexpr int blockSize = 1024;
    constexpr int numBlocks = 4;

    std::vector<float> renderCase (const GoldenCase& c)
    {
        ProcessorFixture fx (48000.0, blockSize);
        fx.processor->seedDrift (2024);

        for (const auto& [id, value] : c.settings)
            fx.set (id, value);

        std::vector<float> samples;

        for (int block = 0; block < numBlocks; ++block)
        {
            juce::MidiBuffer midi;

            if (block == 0)
            {
                if (c.note >= 0)
                    midi.addEvent (juce::MidiMessage::noteOn (1, c.note, (juce::uint8) 100), 0);
                else
                    fx.processor->synth.noteOn (0, 0, 127.0f);
            }

            if (block == 2)
            {
                if (c.note >= 0)
                    midi.addEvent (juce::MidiMessage::noteOff (1, c.note), 500);
                else
                    fx.processor->synth.noteOff (0, 0, 127.0f, true);
            }

            const auto& out = fx.render (midi, blockSize);

            for (int i = 0; i < blockSize; ++i)
                for (int ch = 0; ch < 2; ++ch)
                    samples.push_back (out.getSample (ch, i));
        }

        return samples;
    }

    juce::File goldenFile (const char* name)
    {
        return juce::File (MURMEX2_SOURCE_DIR).getChildFile ("tests/golden").getChildFile (juce::String (name) + ".f32");
    }
}

TEST (Golden, SeededRendersMatchTheStoredSound)
{
    const bool update = std::getenv ("MURMEX2_UPDATE_GOLDEN") != nullptr;

    for (const auto& c : goldenCases)
    {
        SCOPED_TRACE (c.name);
        const auto samples = renderCase (c);
        const auto file = goldenFile (c.name);

        if (update)
        {
            file.getParentDirectory().createDirectory();
            ASSERT_TRUE (file.replaceWithData (samples.data(), samples.size() * sizeof (float)));
            continue;
        }

        juce::MemoryBlock stored;
        ASSERT_TRUE (file.loadFileAsData (stored)) << "missing " << file.getFullPathName();
        ASSERT_EQ (stored.getSize(), samples.size() * sizeof (float));
        const auto* expected = static_cast<const float*> (stored.getData());

        float peak = 0.0f;
        for (size_t i = 0; i < samples.size(); ++i)
        {
            ASSERT_NEAR (samples[i], expected[i], 1.0e-5f) << "sample " << i / 2 << " channel " << i % 2;
            peak = std::max (peak, std::abs (expected[i]));
        }

        EXPECT_GT (peak, 0.01f) << "a golden render must actually sound";
    }
}

TEST (Golden, SameSeedGivesTheSameSamplesAndOtherSeedsDiffer)
{
    const auto& c = goldenCases[0];
    EXPECT_EQ (renderCase (c), renderCase (c));

    ProcessorFixture a, b;
    a.processor->seedDrift (1);
    b.processor->seedDrift (2);
    auto on1 = noteOn (60), on2 = noteOn (60);
    a.render (on1, 4096);
    b.render (on2, 4096);
    EXPECT_NE (std::vector<float> (a.buffer.getReadPointer (0), a.buffer.getReadPointer (0) + 4096),
               std::vector<float> (b.buffer.getReadPointer (0), b.buffer.getReadPointer (0) + 4096));
}
