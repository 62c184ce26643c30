#include <gtest/gtest.h>

#include "RenderSupport.h"

namespace
{
    constexpr int notePpq = 960;

    struct Wav
    {
        double sampleRate = 0.0;
        unsigned int bitsPerSample = 0;
        bool isFloat = false;
        juce::AudioBuffer<float> samples;
    };

    Wav readWav (const juce::File& file)
    {
        juce::WavAudioFormat format;
        std::unique_ptr<juce::AudioFormatReader> reader (format.createReaderFor (file.createInputStream().release(), true));

        if (reader == nullptr)
        {
            ADD_FAILURE() << "cannot read " << file.getFullPathName();
            return {};
        }

        Wav wav { reader->sampleRate, reader->bitsPerSample, reader->usesFloatingPointData,
                  juce::AudioBuffer<float> ((int) reader->numChannels, (int) reader->lengthInSamples) };
        reader->read (&wav.samples, 0, (int) reader->lengthInSamples, 0, true, true);
        return wav;
    }

    float peakBetween (const juce::AudioBuffer<float>& samples, int channel, double sampleRate, double from, double to)
    {
        const auto start = (int) (from * sampleRate);
        return samples.getMagnitude (channel, start, (int) (to * sampleRate) - start);
    }

    // Each test gets a folder: fixtures in "in", renders in "out", so that
    // anything a render leaves behind shows up in "out".
    class RenderTest : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            inputs.createDirectory();
            outputs.createDirectory();
        }

        void TearDown() override { root.deleteRecursively(); }

        // Type 1: the tempo (60 beats a minute) and a late meta event in one
        // track, a one-second note in the other.
        juce::File writeMidi (const juce::String& name, int type = 1) const
        {
            juce::MidiMessageSequence conductor, notes;
            conductor.addEvent (juce::MidiMessage::tempoMetaEvent (1000000), 0.0);
            conductor.addEvent (juce::MidiMessage::textMetaEvent (1, "coda"), 4.0 * notePpq);
            notes.addEvent (juce::MidiMessage::noteOn (1, 57, 0.8f), 0.0);
            notes.addEvent (juce::MidiMessage::noteOff (1, 57), (double) notePpq);

            juce::MidiFile midi;
            midi.setTicksPerQuarterNote (notePpq);
            midi.addTrack (conductor);
            midi.addTrack (notes);

            const auto file = inputs.getChildFile (name);
            juce::FileOutputStream out (file);
            midi.writeTo (out, type);
            return file;
        }

        juce::File writePreset (const juce::String& fileName, std::initializer_list<std::pair<const char*, float>> values,
                                const juce::String& rootTag = "Murmex2") const
        {
            juce::XmlElement xml (rootTag);

            for (const auto& [id, value] : values)
            {
                auto* param = xml.createNewChildElement ("PARAM");
                param->setAttribute ("id", id);
                param->setAttribute ("value", value);
            }

            const auto file = inputs.getChildFile (fileName);
            xml.writeTo (file);
            return file;
        }

        juce::Result renderArguments (const juce::StringArray& args, RenderReport& report,
                                      const RenderProgress& progress = {}) const
        {
            juce::String error;
            const auto options = parseArguments (args, error);

            if (error.isNotEmpty())
                return juce::Result::fail (error);

            return render (options, report, progress);
        }

        juce::Array<juce::File> leftInOutputs() const
        {
            return outputs.findChildFiles (juce::File::findFilesAndDirectories, true);
        }

        const juce::File root = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                    .getNonexistentChildFile ("murmex2-render-test", {}, false);
        const juce::File inputs = root.getChildFile ("in");
        const juce::File outputs = root.getChildFile ("out");
        const juce::File output = outputs.getChildFile ("out.wav");
    };
}

TEST (RenderArguments, ReadsEveryOption)
{
    juce::String error;
    const auto options = parseArguments ({ "--rate", "44100", "-b", "64", "--channels=mono", "--tail", "0.5",
                                           "--seed", "18446744073709551615",
                                           "--set", "Filter/Swarm Frequency=0.25", "--set=Pitch Floor = -3.5",
                                           "--preset", "Swarm Pad", "song.mid" },
                                         error);
    ASSERT_EQ (error, "");

    const auto here = juce::File::getCurrentWorkingDirectory();
    EXPECT_EQ (options.sampleRate, 44100.0);
    EXPECT_EQ (options.blockSize, 64);
    EXPECT_EQ (options.numChannels, 1);
    EXPECT_EQ (options.tailSeconds, 0.5);
    EXPECT_EQ (options.seed, std::optional<juce::uint64> (18446744073709551615ull));
    EXPECT_EQ (options.presetName, "Swarm Pad");
    EXPECT_EQ (options.midiFile, here.getChildFile ("song.mid"));
    EXPECT_EQ (options.outputFile, here.getChildFile ("song.wav"));

    ASSERT_EQ (options.settings.size(), 2u);
    EXPECT_EQ (options.settings[0].id, "Filter/Swarm Frequency");
    EXPECT_EQ (options.settings[0].value, 0.25f);
    EXPECT_EQ (options.settings[1].id, "Pitch Floor");
    EXPECT_EQ (options.settings[1].value, -3.5f);

    const auto demo = parseArguments ({}, error);
    EXPECT_EQ (error, "");
    EXPECT_EQ (demo.midiFile, juce::File());
    EXPECT_EQ (demo.outputFile, here.getChildFile ("murmex2-demo.wav"));
    EXPECT_FALSE (demo.seed.has_value());
}

TEST_F (RenderTest, BadInputFailsWithoutLeavingAFile)
{
    writeMidi ("good.mid");
    writeMidi ("type2.mid", 2);
    inputs.getChildFile ("garbage.mid").replaceWithText ("MThd, or so it says");
    writePreset ("other.mrmx", { { "Volume", 0.0f } }, "SomethingElse");

    // Without a MIDI file the demo would play: every mistake must stop it first.
    struct BadInput
    {
        juce::StringArray args;
        const char* expected;
    };

    const BadInput cases[] {
        { { "--rate", "7999" },                         "sample rate" },
        { { "--rate", "384001" },                       "sample rate" },
        { { "--rate", "48k" },                          "sample rate" },
        { { "--rate" },                                 "needs a value" },
        { { "--block", "0" },                           "block size" },
        { { "--block", "8193" },                        "block size" },
        { { "--channels", "3" },                        "channels" },
        { { "--tail", "-1" },                           "tail" },
        { { "--seed", "-1" },                           "seed" },
        { { "--set", "Filter Cutoff=3" },               "unknown parameter \"Filter Cutoff\"" },
        { { "--set", "Filter Drive=11" },               "from 1 to 10" },
        { { "--set", "Filter Drive=loud" },             "must be a number" },
        { { "--set", "Filter Drive=nan" },              "must be a number" },
        { { "--set", "Filter Drive" },                  "ID=VALUE" },
        { { "--set", "A Button=0.5" },                  "0 or 1" },
        { { "--set", "Cluster Preset=2.5" },            "whole number" },
        { { "--bogus" },                                "unknown option" },
        { { "$in/good.mid", "$in/good.mid" },           "only one MIDI file" },
        { { "$in/missing.mid" },                        "cannot find the MIDI file" },
        { { "$in/garbage.mid" },                        "not a Standard MIDI File" },
        { { "$in/type2.mid" },                          "type 2" },
        { { "--preset", "No Such Preset" },             "no preset named" },
        { { "--preset", "X", "--preset-file", "x" },    "either --preset or --preset-file" },
        { { "--preset-file", "$in/missing.mrmx" },      "cannot find the preset file" },
        { { "--preset-file", "$in/other.mrmx" },        "not a Murmex2 preset" },
        { { "-o", "$out/missing/out.wav" },             "cannot write" },
        { { "-o", "$out" },                             "it is a folder" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.args.joinIntoString (" "));

        juce::StringArray args { "-o", output.getFullPathName(), "--rate", "8000", "--tail", "0.1" };

        for (const auto& arg : c.args)
            args.add (arg.replace ("$in", inputs.getFullPathName()).replace ("$out", outputs.getFullPathName()));

        RenderReport report;
        const auto result = renderArguments (args, report);

        EXPECT_TRUE (result.getErrorMessage().contains (c.expected)) << result.getErrorMessage();
        EXPECT_TRUE (leftInOutputs().isEmpty());
    }
}

TEST_F (RenderTest, MidiFileRendersToWavOfTheAskedShape)
{
    const auto midi = writeMidi ("song.mid");

    struct Shape
    {
        int numChannels, sampleRate, blockSize;
    };

    // Block sizes that do not divide the length, down to a single sample.
    for (const auto shape : { Shape { 1, 8000, 100 }, Shape { 2, 22050, 1 } })
    {
        SCOPED_TRACE (shape.numChannels);

        RenderReport report;
        const auto result = renderArguments ({ midi.getFullPathName(), "-o", output.getFullPathName(), "--tail", "0.25",
                                               "--channels", juce::String (shape.numChannels),
                                               "--rate", juce::String (shape.sampleRate),
                                               "--block", juce::String (shape.blockSize) },
                                             report);
        ASSERT_TRUE (result.wasOk()) << result.getErrorMessage();

        // The note ends after one beat at 60 beats a minute; the late meta event
        // must not stretch the render.
        const auto expectedLength = (int) std::ceil (1.25 * shape.sampleRate);
        const auto wav = readWav (output);
        EXPECT_EQ (wav.sampleRate, shape.sampleRate);
        EXPECT_TRUE (wav.isFloat);
        EXPECT_EQ (wav.bitsPerSample, 32u);
        EXPECT_EQ (wav.samples.getNumChannels(), shape.numChannels);
        EXPECT_EQ (wav.samples.getNumSamples(), expectedLength);
        EXPECT_EQ (report.numSamples, expectedLength);

        ASSERT_EQ ((int) report.channels.size(), shape.numChannels);

        for (int ch = 0; ch < shape.numChannels; ++ch)
        {
            const auto& stats = report.channels[(size_t) ch];
            EXPECT_EQ (stats.peak, wav.samples.getMagnitude (ch, 0, expectedLength));
            EXPECT_NEAR (stats.rms, wav.samples.getRMSLevel (ch, 0, expectedLength), 1.0e-5);
            EXPECT_GT (stats.peak, 0.01f);
            EXPECT_EQ (stats.nonFinite, 0);
        }

        EXPECT_EQ (leftInOutputs(), juce::Array<juce::File> { output });
    }
}

TEST_F (RenderTest, SeedDecidesTheDrift)
{
    const auto midi = writeMidi ("song.mid");

    const auto renderWithSeed = [&] (const char* seed, const juce::String& name)
    {
        const auto file = outputs.getChildFile (name);
        RenderReport report;
        const auto result = renderArguments ({ midi.getFullPathName(), "-o", file.getFullPathName(), "--rate", "8000",
                                               "--seed", seed },
                                             report);
        EXPECT_TRUE (result.wasOk()) << result.getErrorMessage();
        return readWav (file).samples;
    };

    const auto first = renderWithSeed ("7", "a.wav");
    const auto again = renderWithSeed ("7", "b.wav");
    const auto other = renderWithSeed ("8", "c.wav");

    const auto sameSamples = [] (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
    {
        if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
            return false;

        for (int ch = 0; ch < a.getNumChannels(); ++ch)
            if (! std::equal (a.getReadPointer (ch), a.getReadPointer (ch) + a.getNumSamples(), b.getReadPointer (ch)))
                return false;

        return true;
    };

    EXPECT_TRUE (sameSamples (first, again));
    EXPECT_FALSE (sameSamples (first, other));
}

TEST_F (RenderTest, SettingsApplyOnTopOfThePreset)
{
    const auto midi = writeMidi ("song.mid");
    const auto preset = writePreset ("Unplugged.mrmx", { { "Power On/Off", 0.0f } });
    const juce::StringArray args { midi.getFullPathName(), "-o", output.getFullPathName(), "--rate", "8000",
                                   "--preset-file", preset.getFullPathName() };

    RenderReport silent;
    ASSERT_TRUE (renderArguments (args, silent).wasOk());
    EXPECT_EQ (silent.presetName, "Unplugged");
    EXPECT_EQ (silent.channels[0].peak, 0.0f);

    auto poweredArgs = args;
    poweredArgs.addArray ({ "--set", "Power On/Off=1" });
    RenderReport powered;
    ASSERT_TRUE (renderArguments (poweredArgs, powered).wasOk());
    EXPECT_GT (powered.channels[0].peak, 0.01f);
}

TEST_F (RenderTest, AutomationMovesOnlyUnpinnedParameters)
{
    // Full volume, then -72 dB halfway through a one-second note.
    RenderScore score;
    score.midi.addEvent (juce::MidiMessage::noteOn (1, 57, 0.8f), 0.0);
    score.midi.addEvent (juce::MidiMessage::noteOff (1, 57), 1.0);
    score.automation = { { ParamIDs::volume, 0.0, 0.0, 0.0f, 0.0f }, { ParamIDs::volume, 0.5, 0.5, -72.0f, -72.0f } };

    RenderOptions options;
    options.outputFile = output;
    options.sampleRate = 8000.0;
    options.blockSize = 64;
    options.numChannels = 1;
    options.tailSeconds = 0.0;

    RenderReport report;
    ASSERT_TRUE (renderScore (score, options, report).wasOk());
    const auto moved = readWav (output).samples;
    EXPECT_GT (peakBetween (moved, 0, 8000.0, 0.25, 0.5), 0.05f);
    EXPECT_LT (peakBetween (moved, 0, 8000.0, 0.6, 1.0), 0.001f);

    options.settings = { { ParamIDs::volume, 0.0f } };
    ASSERT_TRUE (renderScore (score, options, report).wasOk());
    EXPECT_GT (peakBetween (readWav (output).samples, 0, 8000.0, 0.6, 1.0), 0.05f);
}

TEST_F (RenderTest, InterruptedRenderKeepsTheEarlierFile)
{
    const juce::StringArray args { writeMidi ("song.mid").getFullPathName(), "-o", output.getFullPathName(), "--rate", "8000" };

    std::vector<double> reported;
    RenderReport report;
    ASSERT_TRUE (renderArguments (args, report, [&] (double done) { reported.push_back (done); return true; }).wasOk());
    ASSERT_FALSE (reported.empty());
    EXPECT_EQ (reported.back(), 1.0);

    juce::MemoryBlock before;
    output.loadFileAsData (before);

    auto louder = args;
    louder.addArray ({ "--set", "Volume=6" });
    const auto result = renderArguments (louder, report, [] (double done) { return done < 0.5; });
    EXPECT_TRUE (result.getErrorMessage().contains ("interrupted")) << result.getErrorMessage();

    juce::MemoryBlock after;
    output.loadFileAsData (after);
    EXPECT_EQ (after, before);
    EXPECT_EQ (leftInOutputs(), juce::Array<juce::File> { output });
}

TEST_F (RenderTest, DemoPlaysKeysWhateverThePresetsPlayMode)
{
    // Ribbon mode with the hold on, where keyboard notes alone stay silent.
    const auto preset = writePreset ("Ribbon.mrmx", { { "A Button", 0.0f }, { "B Button", 1.0f }, { "Cluster Preset", 3.0f } });

    RenderReport report;
    const auto result = renderArguments ({ "-o", output.getFullPathName(), "--rate", "8000", "--tail", "0.5",
                                           "--preset-file", preset.getFullPathName() },
                                         report);
    ASSERT_TRUE (result.wasOk()) << result.getErrorMessage();

    const auto phraseSeconds = makeDemoScore().getEndTime();
    EXPECT_GE (phraseSeconds, 15.0);
    EXPECT_LE (phraseSeconds, 25.0);
    EXPECT_EQ (report.numSamples, (juce::int64) std::ceil ((phraseSeconds + 0.5) * 8000.0));

    for (const auto& stats : report.channels)
    {
        EXPECT_GT (stats.peak, 0.05f);
        EXPECT_EQ (stats.nonFinite, 0);
    }
}

TEST (SignalMeter, KeepsNonFiniteSamplesOutOfTheFigures)
{
    const float left[] { 0.5f, -1.0f, std::numeric_limits<float>::quiet_NaN(), 0.5f };
    const float right[] { std::numeric_limits<float>::infinity(), 0.25f, 0.25f, 0.25f };
    const float* channels[] { left, right };

    SignalMeter meter (2);
    meter.add (juce::AudioBuffer<float> (const_cast<float* const*> (channels), 2, 2));
    meter.add (juce::AudioBuffer<float> (const_cast<float* const*> (channels), 2, 2, 2));
    const auto stats = meter.getStats();

    EXPECT_EQ (stats[0].peak, 1.0f);
    EXPECT_DOUBLE_EQ (stats[0].mean, 0.0);
    EXPECT_DOUBLE_EQ (stats[0].rms, std::sqrt (0.5));
    EXPECT_EQ (stats[0].nonFinite, 1);

    EXPECT_EQ (stats[1].peak, 0.25f);
    EXPECT_DOUBLE_EQ (stats[1].mean, 0.25);
    EXPECT_DOUBLE_EQ (stats[1].rms, 0.25);
    EXPECT_EQ (stats[1].nonFinite, 1);
}
