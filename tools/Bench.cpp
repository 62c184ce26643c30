// Cost of the audio callback with one held note: nanoseconds per output frame
// and the real-time factor, at a few rates, for one and eight oscillators and
// both waveforms. Figures only; nothing here is a test.
#include <benchmark/benchmark.h>

#include "PluginEditor.h"
#include "PluginProcessor.h"

namespace
{
    void processBlockWithHeldNote (benchmark::State& state)
    {
        const auto sampleRate = (double) state.range (0);
        const auto numOscillators = (int) state.range (1);
        const auto waveform = (float) state.range (2);
        constexpr int blockSize = 512;

        const auto presets = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                 .getNonexistentChildFile ("murmex2-bench", "", false);
        {
            Murmex2AudioProcessor processor (presets);
            processor.seedDrift (7);

            auto set = [&processor] (const char* id, float value)
            {
                auto* p = processor.apvts.getParameter (id);
                p->setValueNotifyingHost (p->convertTo0to1 (value));
            };

            for (int i = 0; i < 8; ++i)
                set (ParamIDs::oscOn[(size_t) i], i < numOscillators ? 1.0f : 0.0f);

            set (ParamIDs::sinSaw, waveform);
            processor.prepareToPlay (sampleRate, blockSize);

            juce::AudioBuffer<float> buffer (2, blockSize);
            juce::MidiBuffer midi;
            midi.addEvent (juce::MidiMessage::noteOn (1, 57, (juce::uint8) 100), 0);
            processor.processBlock (buffer, midi);
            midi.clear();

            for (auto _ : state)
            {
                processor.processBlock (buffer, midi);
                benchmark::DoNotOptimize (buffer.getReadPointer (0));
            }

            const double frames = (double) state.iterations() * blockSize;
            state.counters["ns_per_frame"] = benchmark::Counter (frames * 1.0e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
            state.counters["realtime_factor"] = benchmark::Counter (frames / sampleRate, benchmark::Counter::kIsRate);
        }

        presets.deleteRecursively();
    }
}

// A new instance on a library of 200 presets: the folder scan and the first
// preset's load are what a host waits for.
void constructWithPresetLibrary (benchmark::State& state)
{
    const auto presets = juce::File::getSpecialLocation (juce::File::tempDirectory)
                             .getNonexistentChildFile ("murmex2-bench", "", false);
    {
        Murmex2AudioProcessor writer (presets);

        for (int i = 0; i < 200; ++i)
            writer.presetManager.savePreset ("Preset " + juce::String (i).paddedLeft ('0', 3), i % 2 == 0 ? "Factory" : "User");
    }

    for (auto _ : state)
    {
        Murmex2AudioProcessor processor (presets);
        benchmark::DoNotOptimize (processor.presetManager.entries.size());
    }

    presets.deleteRecursively();
}

// Opening the editor: the panel artwork rendered for its layout and, when the
// picture cache is cold (argument 1), the decoding of the pictures as well.
void openEditor (benchmark::State& state)
{
    const bool cold = state.range (0) != 0;
    const auto presets = juce::File::getSpecialLocation (juce::File::tempDirectory)
                             .getNonexistentChildFile ("murmex2-bench", "", false);
    {
        Murmex2AudioProcessor processor (presets);

        for (auto _ : state)
        {
            if (cold)
                juce::ImageCache::releaseUnusedImages();

            std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditor());
            benchmark::DoNotOptimize (editor.get());
        }
    }

    presets.deleteRecursively();
}

// What an idle instance costs per frame (48 kHz, 512-sample blocks): one that
// never played (0), one whose note has been released and has died away (1),
// and one powered off while holding a note (2).
void idleInstance (benchmark::State& state)
{
    const auto presets = juce::File::getSpecialLocation (juce::File::tempDirectory)
                             .getNonexistentChildFile ("murmex2-bench", "", false);
    {
        Murmex2AudioProcessor processor (presets);
        processor.prepareToPlay (48000.0, 512);

        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        const auto mode = state.range (0);

        if (mode != 0)
        {
            midi.addEvent (juce::MidiMessage::noteOn (1, 57, (juce::uint8) 100), 0);
            processor.processBlock (buffer, midi);
            midi.clear();
        }

        if (mode == 1)
        {
            midi.addEvent (juce::MidiMessage::noteOff (1, 57), 0);

            // Ten seconds: the release is long over.
            for (int i = 0; i < 48000 * 10 / 512; ++i)
            {
                processor.processBlock (buffer, midi);
                midi.clear();
            }
        }

        if (mode == 2)
        {
            auto* power = processor.apvts.getParameter (ParamIDs::power);
            power->setValueNotifyingHost (0.0f);
        }

        for (auto _ : state)
        {
            processor.processBlock (buffer, midi);
            benchmark::DoNotOptimize (buffer.getReadPointer (0));
        }

        state.counters["ns_per_frame"] = benchmark::Counter ((double) state.iterations() * 512 * 1.0e-9,
                                                             benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }

    presets.deleteRecursively();
}

BENCHMARK (idleInstance)->ArgName ("mode")->Arg (0)->Arg (1)->Arg (2);

BENCHMARK (constructWithPresetLibrary)->Unit (benchmark::kMillisecond);
BENCHMARK (openEditor)->ArgName ("cold")->Arg (0)->Arg (1)->Unit (benchmark::kMillisecond);

BENCHMARK (processBlockWithHeldNote)
    ->ArgNames ({ "rate", "oscs", "saw" })
    ->ArgsProduct ({ { 44100, 48000, 96000 }, { 1, 8 }, { 0, 1 } })
    ->Unit (benchmark::kMicrosecond);

// `murmex2-bench --frames N` renders N frames of the default sound (48 kHz,
// stereo, 512-sample blocks, one held note) and exits: a fixed amount of work
// for instruction counting under callgrind.
static int renderFixedFrames (long frames)
{
    const auto presets = juce::File::getSpecialLocation (juce::File::tempDirectory)
                             .getNonexistentChildFile ("murmex2-bench", "", false);
    {
        Murmex2AudioProcessor processor (presets);
        processor.seedDrift (7);
        processor.prepareToPlay (48000.0, 512);

        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::noteOn (1, 57, (juce::uint8) 100), 0);

        for (long done = 0; done < frames; done += 512)
        {
            processor.processBlock (buffer, midi);
            midi.clear();
        }
    }
    presets.deleteRecursively();
    return 0;
}

int main (int argc, char** argv)
{
    const juce::ScopedJuceInitialiser_GUI juceRuntime;

    if (argc == 3 && juce::String (argv[1]) == "--frames")
        return renderFixedFrames (juce::String (argv[2]).getLargeIntValue());

    benchmark::Initialize (&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
