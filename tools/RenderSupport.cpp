#include "RenderSupport.h"
#include "PluginEditor.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace
{
    constexpr double minSampleRate = 8000.0, maxSampleRate = 384000.0;
    constexpr int maxBlockSize = 8192;
    constexpr double maxTailSeconds = 600.0;
    constexpr const char* demoFileName = "murmex2-demo.wav";

    juce::String formatNumber (double value)
    {
        return juce::String (value, 6).trimCharactersAtEnd ("0").trimCharactersAtEnd (".");
    }

    juce::String quoted (const juce::String& text)
    {
        return "\"" + text + "\"";
    }

    // The whole text must be one finite number: "5x", "" and "nan" are refused.
    std::optional<double> parseNumber (const juce::String& text)
    {
        const auto utf8 = text.trim().toStdString();
        char* end = nullptr;
        const double value = std::strtod (utf8.c_str(), &end);

        if (utf8.empty() || end != utf8.c_str() + utf8.size() || ! std::isfinite (value))
            return std::nullopt;

        return value;
    }

    std::optional<double> parseWholeNumber (const juce::String& text, double minimum, double maximum)
    {
        const auto value = parseNumber (text);

        if (! value.has_value() || *value != std::floor (*value) || *value < minimum || *value > maximum)
            return std::nullopt;

        return value;
    }

    std::optional<juce::uint64> parseSeed (const juce::String& text)
    {
        if (text.isEmpty() || ! text.containsOnly ("0123456789"))
            return std::nullopt;

        errno = 0;
        const auto value = std::strtoull (text.toRawUTF8(), nullptr, 10);

        if (errno == ERANGE)
            return std::nullopt;

        return (juce::uint64) value;
    }

    juce::String describeRange (const ParamSpec& parameterRow)
    {
        if (parameterRow.kind == ParamKind::toggle)
            return "0 or 1";

        const auto range = "from " + formatNumber (parameterRow.minimum) + " to " + formatNumber (parameterRow.maximum);
        return parameterRow.kind == ParamKind::stepped ? "a whole number " + range : range;
    }

    bool fitsRange (const ParamSpec& parameterRow, double value)
    {
        // Compared as the parameter stores it, so typing its maximum 0.98 is accepted.
        const auto v = (float) value;

        if (parameterRow.kind == ParamKind::toggle)
            return v == 0.0f || v == 1.0f;

        const bool whole = parameterRow.kind != ParamKind::stepped || v == std::floor (v);
        return whole && v >= parameterRow.minimum && v <= parameterRow.maximum;
    }

    std::optional<ParameterSetting> parseSetting (const juce::String& text, juce::String& error)
    {
        if (! text.containsChar ('='))
        {
            error = "--set needs ID=VALUE, not " + quoted (text);
            return std::nullopt;
        }

        // Ids hold blanks and slashes but never '=', so the first one ends the id.
        const auto id = text.upToFirstOccurrenceOf ("=", false, false).trim();
        const auto valueText = text.fromFirstOccurrenceOf ("=", false, false).trim();
        const auto* parameterRow = findParamSpec (id);

        if (parameterRow == nullptr)
        {
            error = "unknown parameter " + quoted (id) + " (--help lists them)";
            return std::nullopt;
        }

        const auto value = parseNumber (valueText);

        if (! value.has_value())
            error = quoted (id) + " must be a number, not " + quoted (valueText);
        else if (! fitsRange (*parameterRow, *value))
            error = quoted (id) + " must be " + describeRange (*parameterRow) + ", not " + valueText;
        else
            return ParameterSetting { id, (float) *value };

        return std::nullopt;
    }

    juce::File resolvePath (const juce::String& path)
    {
        return juce::File::getCurrentWorkingDirectory().getChildFile (path);
    }

    //==============================================================================
    juce::Array<juce::File> getPresetRoots()
    {
        return { PresetManager::getDefaultRoot(), juce::File (MURMEX2_SOURCE_DIR).getChildFile ("presets") };
    }

    // Looks through the preset folders of each root, read only: nothing is created.
    juce::File findPreset (const juce::String& name)
    {
        for (const auto& root : getPresetRoots())
        {
            auto folders = root.findChildFiles (juce::File::findDirectories, false);
            folders.sort();

            for (const auto& folder : folders)
                for (const auto& file : folder.findChildFiles (juce::File::findFiles, false, "*" + PresetManager::EXT))
                    if (file.getFileNameWithoutExtension().equalsIgnoreCase (name))
                        return file;
        }

        return {};
    }

    juce::String describePresetRoots()
    {
        juce::StringArray paths;

        for (const auto& root : getPresetRoots())
            paths.add (root.getFullPathName());

        return paths.joinIntoString (" and ");
    }

    // A preset library of the render's own, so that a render never writes into the user's.
    struct ScratchFolder
    {
        ScratchFolder()
            : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getNonexistentChildFile ("murmex2-render-" + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64()),
                                                    {}, false))
        {
            folder.createDirectory();
        }

        ~ScratchFolder() { folder.deleteRecursively(); }

        const juce::File folder;

        JUCE_DECLARE_NON_COPYABLE (ScratchFolder)
    };

    void setParameter (juce::RangedAudioParameter& parameter, float value)
    {
        parameter.setValueNotifyingHost (parameter.convertTo0to1 (value));
    }

    juce::Result loadPreset (Murmex2AudioProcessor& processor, const juce::File& file, juce::String& loadedName)
    {
        auto& presets = processor.presetManager;
        const auto name = file.getFileNameWithoutExtension();

        for (int i = 0; i < presets.entries.size(); ++i)
        {
            if (presets.entries.getReference (i).name == name)
            {
                presets.loadPresetByIndex (i);

                // The library only makes an entry current when it could load it.
                if (presets.currentIndex != i)
                    break;

                loadedName = name;
                return juce::Result::ok();
            }
        }

        return juce::Result::fail (file.getFullPathName() + " is not a Murmex2 preset");
    }

    //==============================================================================
    // The moves of one parameter, the latest started one in charge.
    struct AutomationLane
    {
        juce::RangedAudioParameter* parameter = nullptr;
        std::vector<ParameterRamp> ramps;
        float lastValue = std::numeric_limits<float>::quiet_NaN();
    };

    float valueAt (const ParameterRamp& ramp, double time)
    {
        if (time >= ramp.endSeconds)
            return ramp.endValue;

        const auto position = (time - ramp.startSeconds) / (ramp.endSeconds - ramp.startSeconds);
        return juce::jmap ((float) position, ramp.startValue, ramp.endValue);
    }

    bool isPinned (const RenderOptions& options, const juce::String& id)
    {
        return std::any_of (options.settings.begin(), options.settings.end(),
                            [&] (const ParameterSetting& setting) { return setting.id == id; });
    }

    juce::Result makeLanes (const RenderScore& score, const RenderOptions& options,
                            juce::AudioProcessorValueTreeState& apvts, std::vector<AutomationLane>& lanes)
    {
        for (const auto& ramp : score.automation)
        {
            if (isPinned (options, ramp.id))
                continue;

            auto* parameter = apvts.getParameter (ramp.id);

            if (parameter == nullptr)
                return juce::Result::fail ("the automation moves an unknown parameter " + quoted (ramp.id));

            auto lane = std::find_if (lanes.begin(), lanes.end(), [&] (const AutomationLane& l) { return l.parameter == parameter; });

            if (lane == lanes.end())
                lane = lanes.insert (lanes.end(), AutomationLane { parameter, {} });

            lane->ramps.push_back (ramp);
        }

        for (auto& lane : lanes)
            std::stable_sort (lane.ramps.begin(), lane.ramps.end(),
                              [] (const ParameterRamp& a, const ParameterRamp& b) { return a.startSeconds < b.startSeconds; });

        return juce::Result::ok();
    }

    void applyAutomation (std::vector<AutomationLane>& lanes, double time)
    {
        for (auto& lane : lanes)
        {
            const ParameterRamp* current = nullptr;

            for (const auto& ramp : lane.ramps)
                if (ramp.startSeconds <= time)
                    current = &ramp;

            if (current == nullptr)
                continue;

            const auto value = valueAt (*current, time);

            if (value != lane.lastValue)
            {
                setParameter (*lane.parameter, value);
                lane.lastValue = value;
            }
        }
    }

    juce::String decibels (double gain)
    {
        return gain > 0.0 ? juce::String (20.0 * std::log10 (gain), 2) + " dBFS" : juce::String ("-inf dBFS");
    }
}

//==============================================================================
double RenderScore::getEndTime() const
{
    auto end = midi.getEndTime();

    for (const auto& ramp : automation)
        end = std::max ({ end, ramp.startSeconds, ramp.endSeconds });

    return end;
}

SignalMeter::SignalMeter (int numChannels)
    : sums ((size_t) numChannels)
{
}

void SignalMeter::add (const juce::AudioBuffer<float>& buffer)
{
    for (int ch = 0; ch < (int) sums.size(); ++ch)
    {
        auto& s = sums[(size_t) ch];
        const auto* samples = buffer.getReadPointer (ch);

        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const auto x = samples[i];

            if (! std::isfinite (x))
            {
                ++s.nonFinite;
                continue;
            }

            s.peak = std::max (s.peak, std::abs (x));
            s.sum += x;
            s.sumOfSquares += (double) x * x;
            ++s.finite;
        }
    }
}

std::vector<ChannelStats> SignalMeter::getStats() const
{
    std::vector<ChannelStats> stats;

    for (const auto& s : sums)
    {
        const auto count = (double) std::max<juce::int64> (s.finite, 1);
        stats.push_back ({ s.peak, std::sqrt (s.sumOfSquares / count), s.sum / count, s.nonFinite });
    }

    return stats;
}

//==============================================================================
RenderOptions parseArguments (const juce::StringArray& args, juce::String& error)
{
    RenderOptions options;
    error.clear();

    const auto refuse = [&] (const juce::String& rule, const juce::String& text) { error = rule + ", not " + quoted (text); };

    for (int i = 0; i < args.size() && error.isEmpty(); ++i)
    {
        auto option = args[i];
        std::optional<juce::String> attached;

        if (option.startsWith ("--") && option.containsChar ('='))
        {
            attached = option.fromFirstOccurrenceOf ("=", false, false);
            option = option.upToFirstOccurrenceOf ("=", false, false);
        }

        // The option's value: after its '=', or else the next argument.
        const auto value = [&]() -> std::optional<juce::String>
        {
            if (attached.has_value())
                return attached;

            if (i + 1 < args.size())
                return args[++i];

            error = option + " needs a value";
            return std::nullopt;
        };

        if (option == "-h" || option == "--help")
        {
            options.showHelp = true;
        }
        else if (option == "-o" || option == "--output")
        {
            if (const auto text = value())
                options.outputFile = resolvePath (*text);
        }
        else if (option == "-r" || option == "--rate")
        {
            if (const auto text = value())
            {
                if (const auto rate = parseWholeNumber (*text, minSampleRate, maxSampleRate))
                    options.sampleRate = *rate;
                else
                    refuse ("the sample rate must be a whole number of Hz from 8000 to 384000", *text);
            }
        }
        else if (option == "-b" || option == "--block")
        {
            if (const auto text = value())
            {
                if (const auto size = parseWholeNumber (*text, 1, maxBlockSize))
                    options.blockSize = (int) *size;
                else
                    refuse ("the block size must be a whole number from 1 to 8192", *text);
            }
        }
        else if (option == "-c" || option == "--channels")
        {
            if (const auto text = value())
            {
                if (*text == "1" || *text == "mono")
                    options.numChannels = 1;
                else if (*text == "2" || *text == "stereo")
                    options.numChannels = 2;
                else
                    refuse ("the channels must be 1 (mono) or 2 (stereo)", *text);
            }
        }
        else if (option == "--tail")
        {
            if (const auto text = value())
            {
                const auto tail = parseNumber (*text);

                if (tail.has_value() && *tail >= 0.0 && *tail <= maxTailSeconds)
                    options.tailSeconds = *tail;
                else
                    refuse ("the tail must be from 0 to 600 seconds", *text);
            }
        }
        else if (option == "--seed")
        {
            if (const auto text = value())
            {
                if (const auto seed = parseSeed (*text))
                    options.seed = seed;
                else
                    refuse ("the seed must be a whole number from 0 to 18446744073709551615", *text);
            }
        }
        else if (option == "--set")
        {
            if (const auto text = value())
                if (const auto setting = parseSetting (*text, error))
                    options.settings.push_back (*setting);
        }
        else if (option == "--preset")
        {
            if (const auto text = value())
            {
                if (text->isEmpty())
                    error = "--preset needs a name";
                else
                    options.presetName = *text;
            }
        }
        else if (option == "--preset-file")
        {
            if (const auto text = value())
                options.presetFile = resolvePath (*text);
        }
        else if (option == "--snapshot")
        {
            if (const auto text = value())
                options.snapshotFile = resolvePath (*text);
        }
        else if (option.startsWith ("-") && option != "-")
        {
            error = "unknown option " + quoted (option) + " (see --help)";
        }
        else if (options.midiFile != juce::File())
        {
            error = "only one MIDI file can be rendered at a time, not also " + quoted (option);
        }
        else
        {
            options.midiFile = resolvePath (option);
        }
    }

    if (error.isEmpty() && options.presetName.isNotEmpty() && options.presetFile != juce::File())
        error = "give either --preset or --preset-file, not both";

    if (options.outputFile == juce::File())
        options.outputFile = resolvePath (options.midiFile == juce::File() ? juce::String (demoFileName)
                                                                           : options.midiFile.getFileNameWithoutExtension() + ".wav");

    return options;
}

juce::String getHelpText()
{
    juce::String text;
    text << "murmex2-render: plays MIDI through the Murmex2 instrument into a WAV file\n"
            "\n"
            "Usage: murmex2-render [options] [MIDI-FILE]\n"
            "\n"
            "Reads a Standard MIDI File of type 0 or 1 (all tracks merged) and renders it,\n"
            "with a release tail after the last event. Without a MIDI file it renders a\n"
            "built-in demo phrase of about 20 seconds to " << demoFileName << " in the current\n"
            "folder, using the preset \"" << demoPresetName << "\" when it is installed; the demo moves the\n"
            "swarm, the filter and the pitch ribbon while it plays.\n"
            "\n"
            "Options:\n"
            "  -o, --output FILE       the WAV file to write, 32-bit float (default: the MIDI\n"
            "                          file's name with .wav, in the current folder)\n"
            "  -r, --rate HZ           sample rate, 8000 to 384000 (default 48000)\n"
            "  -b, --block N           block size in samples, 1 to 8192 (default 512); the\n"
            "                          demo's parameter moves take effect at block boundaries\n"
            "  -c, --channels N        1 or mono, 2 or stereo (default 2)\n"
            "      --tail SECONDS      time rendered after the last event, 0 to 600 (default 2)\n"
            "      --seed N            seed of the oscillators' drift, for repeatable renders\n"
            "                          (default: a fresh seed, printed with the results)\n"
            "      --preset NAME       a preset from the installed library or the source tree:\n"
            "                          " << describePresetRoots() << "\n"
            "      --preset-file FILE  a preset file\n"
            "      --snapshot FILE     draw the editor, with the preset and settings, into\n"
            "                          the PNG FILE instead of rendering audio\n"
            "      --set \"ID=VALUE\"    a parameter value, set after the preset; repeatable.\n"
            "                          Ids contain blanks, so quote them. The demo does not\n"
            "                          move a parameter set this way.\n"
            "  -h, --help              this text\n"
            "\n"
            "A value option may also be written --option=VALUE.\n"
            "\n"
            "The WAV is written under a temporary name next to the target and moved into\n"
            "place when complete: a failed or interrupted render leaves no file behind.\n"
            "Afterwards the duration is printed and, for each channel, the peak, the RMS,\n"
            "the DC offset (mean) and the number of NaN or infinite samples if there are any.\n"
            "\n"
            "Exit status: 0 when the WAV was written, 1 when the render failed, 2 for bad\n"
            "arguments.\n"
            "\n"
            "Parameters:\n";

    for (const auto& parameterRow : parameterTable)
    {
        auto range = describeRange (parameterRow) + juce::String (parameterRow.label);
        text << "  " << quoted (parameterRow.id).paddedRight (' ', 26) << range.paddedRight (' ', 30)
             << "default " << formatNumber (parameterRow.defaultValue) << "\n";
    }

    return text;
}

//==============================================================================
juce::Result loadMidiFile (const juce::File& file, juce::MidiMessageSequence& sequence)
{
    const auto path = file.getFullPathName();

    if (! file.existsAsFile())
        return juce::Result::fail ("cannot find the MIDI file " + path);

    juce::FileInputStream stream (file);

    if (! stream.openedOk())
        return juce::Result::fail ("cannot read " + path + ": " + stream.getStatus().getErrorMessage());

    juce::MidiFile midiFile;
    int type = 0;

    if (! midiFile.readFrom (stream, true, &type))
        return juce::Result::fail (path + " is not a Standard MIDI File");

    if (type == 2)
        return juce::Result::fail (path + " is a type 2 MIDI file; only types 0 and 1 can be rendered");

    midiFile.convertTimestampTicksToSeconds();

    juce::MidiMessageSequence merged;

    for (int t = 0; t < midiFile.getNumTracks(); ++t)
        merged.addSequence (*midiFile.getTrack (t), 0.0);

    sequence.clear();

    for (const auto* event : merged)
        if (! event->message.isMetaEvent())
            sequence.addEvent (event->message);

    return juce::Result::ok();
}

RenderScore makeDemoScore()
{
    // 90 beats a minute, 30 beats long.
    constexpr double secondsPerBeat = 60.0 / 90.0;
    constexpr float velocity = 0.8f;
    RenderScore score;

    const auto note = [&] (int noteNumber, double startBeat, double lengthBeats)
    {
        score.midi.addEvent (juce::MidiMessage::noteOn (1, noteNumber, velocity), startBeat * secondsPerBeat);
        score.midi.addEvent (juce::MidiMessage::noteOff (1, noteNumber), (startBeat + lengthBeats) * secondsPerBeat);
    };

    const auto ramp = [&] (const char* id, double startBeat, double endBeat, float from, float to)
    {
        score.automation.push_back ({ id, startBeat * secondsPerBeat, endBeat * secondsPerBeat, from, to });
    };

    const auto set = [&] (const char* id, float value) { ramp (id, 0.0, 0.0, value, value); };

    // Whatever the preset: keys play the voice, the swarm ribbon drives the swarm
    // and no cluster preset overrides it, and the pitch ribbon spans three octaves.
    set (ParamIDs::power, 1.0f);
    set (ParamIDs::aButton, 1.0f);
    set (ParamIDs::bButton, 0.0f);
    set (ParamIDs::swarmFilterControl, 1.0f);
    set (ParamIDs::clusterPreset, 0.0f);
    set (ParamIDs::pitchRange, 2.0f);
    set (ParamIDs::pitchRibbon, 0.0f);

    // Bars 1-2: a rising line while the swarm fans out from unison. The notes
    // overlap, so they play legato: the newest note takes the voice and the
    // envelope runs on.
    constexpr std::array<int, 4> line { 50, 53, 57, 60 };

    for (size_t i = 0; i < line.size(); ++i)
        note (line[i], 2.0 * (double) i, 2.1);

    ramp (ParamIDs::swarmRibbon, 0.0, 8.0, 0.0f, 1.0f);

    // Bars 3-4: a low drone under a rising filter, the swarm drawn back in.
    note (38, 8.0, 7.5);
    ramp (ParamIDs::swarmRibbon, 8.0, 9.0, 1.0f, 0.25f);
    ramp (ParamIDs::filterSwarmFrequency, 8.0, 16.0, 0.1f, 0.95f);

    // Bars 5-6: an arpeggio as the filter closes again.
    constexpr std::array<int, 8> arpeggio { 50, 57, 62, 65, 57, 62, 65, 69 };

    for (int i = 0; i < 16; ++i)
        note (arpeggio[(size_t) i % arpeggio.size()], 16.0 + 0.5 * i, 0.55);

    ramp (ParamIDs::filterSwarmFrequency, 16.0, 24.0, 0.95f, 0.35f);

    // Bars 7-8: a last note glides up an octave, 12 of the ribbon's 36 semitones,
    // and the swarm opens once more.
    note (50, 24.0, 6.0);
    ramp (ParamIDs::pitchRibbon, 25.0, 27.0, 0.0f, 1.0f / 3.0f);
    ramp (ParamIDs::swarmRibbon, 26.0, 30.0, 0.25f, 0.8f);
    ramp (ParamIDs::filterSwarmFrequency, 24.0, 30.0, 0.35f, 0.6f);

    return score;
}

//==============================================================================
namespace
{
    // Turns a preset name into its file; without a MIDI file and without a
    // preset the demo's own preset is taken, when it is installed.
    juce::Result resolvePreset (RenderOptions& options, RenderReport& report)
    {
        if (options.presetName.isNotEmpty())
        {
            options.presetFile = findPreset (options.presetName);

            if (options.presetFile == juce::File())
                return juce::Result::fail ("no preset named " + quoted (options.presetName) + " in " + describePresetRoots());
        }
        else if (options.midiFile == juce::File() && options.presetFile == juce::File())
        {
            options.presetFile = findPreset (demoPresetName);

            if (options.presetFile == juce::File())
                report.notes.add ("the preset " + quoted (demoPresetName) + " is not installed; the default parameters are used");
        }

        return juce::Result::ok();
    }

    // A processor on the scratch library with options.presetFile loaded and the
    // settings applied after it.
    juce::Result createProcessor (const RenderOptions& options, const juce::File& presetRoot,
                                  std::unique_ptr<Murmex2AudioProcessor>& processor, RenderReport& report)
    {
        const auto hasPreset = options.presetFile != juce::File();

        if (hasPreset)
        {
            if (! options.presetFile.existsAsFile())
                return juce::Result::fail ("cannot find the preset file " + options.presetFile.getFullPathName());

            // Under the library's own extension, or it would not list the file.
            const auto factory = presetRoot.getChildFile ("Factory");

            if (! factory.createDirectory()
                || ! options.presetFile.copyFileTo (factory.getChildFile (options.presetFile.getFileNameWithoutExtension() + PresetManager::EXT)))
                return juce::Result::fail ("cannot copy the preset file " + options.presetFile.getFullPathName());
        }

        processor = std::make_unique<Murmex2AudioProcessor> (presetRoot);

        if (hasPreset)
            if (const auto loaded = loadPreset (*processor, options.presetFile, report.presetName); loaded.failed())
                return loaded;

        for (const auto& setting : options.settings)
        {
            auto* parameter = processor->apvts.getParameter (setting.id);

            if (parameter == nullptr)
                return juce::Result::fail ("unknown parameter " + quoted (setting.id));

            setParameter (*parameter, setting.value);
        }

        return juce::Result::ok();
    }
}

juce::Result render (const RenderOptions& options, RenderReport& report, const RenderProgress& progress)
{
    report = {};
    RenderScore score;
    auto resolved = options;

    if (options.midiFile == juce::File())
        score = makeDemoScore();
    else if (const auto loaded = loadMidiFile (options.midiFile, score.midi); loaded.failed())
        return loaded;

    if (const auto found = resolvePreset (resolved, report); found.failed())
        return found;

    return renderScore (score, resolved, report, progress);
}

juce::Result renderScore (const RenderScore& score, const RenderOptions& options,
                          RenderReport& report, const RenderProgress& progress)
{
    const auto& target = options.outputFile;
    const auto targetPath = target.getFullPathName();

    if (target.isDirectory())
        return juce::Result::fail ("cannot write " + targetPath + ": it is a folder");

    ScratchFolder presetRoot;
    std::unique_ptr<Murmex2AudioProcessor> instance;

    if (const auto created = createProcessor (options, presetRoot.folder, instance, report); created.failed())
        return created;

    auto& processor = *instance;

    std::vector<AutomationLane> lanes;

    if (const auto made = makeLanes (score, options, processor.apvts, lanes); made.failed())
        return made;

    juce::AudioProcessor::BusesLayout layout;
    layout.outputBuses.add (options.numChannels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo());

    if (! processor.setBusesLayout (layout))
        return juce::Result::fail ("the instrument cannot play " + juce::String (options.numChannels) + " channels");

    report.seed = options.seed.value_or ((juce::uint64) juce::Random::getSystemRandom().nextInt64());
    processor.seedDrift (report.seed);

    const auto sampleRate = options.sampleRate;
    const auto blockSize = options.blockSize;
    const auto numChannels = options.numChannels;

    // Written next to the target so that the final move cannot cross file systems.
    juce::TemporaryFile partial (target, juce::TemporaryFile::useHiddenFile);
    auto stream = std::make_unique<juce::FileOutputStream> (partial.getFile());

    if (stream->failedToOpen())
        return juce::Result::fail ("cannot write " + targetPath + ": " + stream->getStatus().getErrorMessage());

    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (stream.get(), sampleRate, (unsigned int) numChannels, 32, {}, 0));

    if (writer == nullptr)
        return juce::Result::fail ("cannot write a WAV file at " + formatNumber (sampleRate) + " Hz");

    stream.release();

    processor.setNonRealtime (true);
    processor.setRateAndBufferSizeDetails (sampleRate, blockSize);
    processor.prepareToPlay (sampleRate, blockSize);

    const auto totalSamples = (juce::int64) std::ceil ((score.getEndTime() + options.tailSeconds) * sampleRate);
    const auto& events = score.midi;
    int nextEvent = 0;

    juce::AudioBuffer<float> buffer (numChannels, blockSize);
    juce::MidiBuffer midi;
    SignalMeter meter (numChannels);

    for (juce::int64 start = 0; start < totalSamples; start += blockSize)
    {
        const auto numSamples = (int) std::min<juce::int64> (blockSize, totalSamples - start);

        applyAutomation (lanes, (double) start / sampleRate);

        midi.clear();

        for (; nextEvent < events.getNumEvents(); ++nextEvent)
        {
            const auto& message = events.getEventPointer (nextEvent)->message;
            const auto position = std::max<juce::int64> (0, std::llround (message.getTimeStamp() * sampleRate));

            if (position >= start + numSamples)
                break;

            midi.addEvent (message, (int) (position - start));
        }

        juce::AudioBuffer<float> block (buffer.getArrayOfWritePointers(), numChannels, numSamples);
        processor.processBlock (block, midi);
        meter.add (block);

        if (! writer->writeFromAudioSampleBuffer (block, 0, numSamples))
            return juce::Result::fail ("writing " + targetPath + " failed");

        if (progress != nullptr && ! progress ((double) (start + numSamples) / (double) totalSamples))
            return juce::Result::fail ("the render was interrupted; " + targetPath + " was not written");
    }

    processor.releaseResources();
    writer.reset();

    if (! partial.overwriteTargetFileWithTemporary())
        return juce::Result::fail ("cannot move the finished render to " + targetPath);

    report.outputFile = target;
    report.sampleRate = sampleRate;
    report.numSamples = totalSamples;
    report.channels = meter.getStats();
    return juce::Result::ok();
}

juce::String formatReport (const RenderReport& report)
{
    const auto numChannels = (int) report.channels.size();

    juce::String text;
    text << "wrote " << report.outputFile.getFullPathName() << "\n"
         << "  " << juce::String ((double) report.numSamples / report.sampleRate, 3) << " s at "
         << formatNumber (report.sampleRate) << " Hz, " << numChannels << (numChannels == 1 ? " channel" : " channels")
         << ", 32-bit float\n"
         << "  preset " << (report.presetName.isEmpty() ? juce::String ("none (default parameters)") : quoted (report.presetName))
         << ", seed " << juce::String (report.seed) << "\n";

    for (int ch = 0; ch < numChannels; ++ch)
    {
        const auto& stats = report.channels[(size_t) ch];
        text << "  channel " << (ch + 1) << ": peak " << juce::String (stats.peak, 4) << " (" << decibels (stats.peak) << ")"
             << ", RMS " << juce::String (stats.rms, 4) << " (" << decibels (stats.rms) << ")"
             << ", DC " << (stats.mean < 0.0 ? "" : "+") << juce::String (stats.mean, 6);

        if (stats.nonFinite > 0)
            text << ", " << juce::String (stats.nonFinite) << " NaN/Inf samples";

        text << "\n";
    }

    return text;
}

juce::Result writeSnapshot (const RenderOptions& options, RenderReport& report)
{
    report = {};
    auto resolved = options;
    const auto& target = options.snapshotFile;

    if (target.isDirectory())
        return juce::Result::fail ("cannot write " + target.getFullPathName() + ": it is a folder");

    if (const auto found = resolvePreset (resolved, report); found.failed())
        return found;

    ScratchFolder presetRoot;
    std::unique_ptr<Murmex2AudioProcessor> processor;

    if (const auto created = createProcessor (resolved, presetRoot.folder, processor, report); created.failed())
        return created;

    const auto image = renderEditorSnapshot (*processor);

    juce::TemporaryFile partial (target, juce::TemporaryFile::useHiddenFile);
    {
        juce::FileOutputStream out (partial.getFile());

        if (out.failedToOpen() || ! juce::PNGImageFormat().writeImageToStream (image, out))
            return juce::Result::fail ("cannot write " + target.getFullPathName());
    }

    if (! partial.overwriteTargetFileWithTemporary())
        return juce::Result::fail ("cannot move the snapshot to " + target.getFullPathName());

    report.outputFile = target;
    return juce::Result::ok();
}
