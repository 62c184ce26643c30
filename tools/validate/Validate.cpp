// murmex2-validate: loads the built VST3 and LV2 bundles through JUCE's hosting
// classes, as a host does, and checks what a host relies on. Each check has a
// name and a seed; a failure prints how to run that check alone again.

#include <juce_audio_processors/juce_audio_processors.h>

#include "Parameters.h"
#include "RtInterposer.h"

#include <csignal>
#include <dlfcn.h>
#include <link.h>
#include <malloc.h>
#include <set>
#include <thread>

namespace
{
    struct Options
    {
        bool quick = false;
        juce::int64 seed = 0;
        juce::String only;
        juce::String format;
        juce::StringArray bundles;
        juce::String commandLine;
    };

    // How much each check does at full strength and with --quick.
    struct Effort
    {
        double secondsPerConfig;
        int minBlocksPerConfig;
        int stateRounds;
        int hostileBlobs;
        int realtimeBlocks;
        int editorCycles;
    };

    constexpr Effort fullEffort { 1.0, 64, 40, 100000, 100000, 1000 };
    constexpr Effort quickEffort { 0.02, 4, 5, 3000, 10000, 50 };

    const std::array<double, 8> sampleRates { 8000.0, 22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0 };
    const std::array<int, 12> blockSizes { 1, 2, 3, 16, 31, 64, 256, 512, 1000, 1024, 2048, 4096 };

    // A fresh voice draws its first drift at its 64th sample: until then two
    // instances render the same state to the same samples.
    constexpr int driftFreeSamples = 63;

    juce::int64 mixSeed (juce::int64 seed, const juce::String& name)
    {
        auto h = (juce::uint64) seed ^ 0x9e3779b97f4a7c15ull;

        for (auto c : name)
            h = (h ^ (juce::uint64) c) * 0x100000001b3ull;

        return (juce::int64) (h ^ (h >> 29));
    }

    //==============================================================================
    // The report of one run. Crash and hang reports name the check that was running.
    struct Report
    {
        int passed = 0, failed = 0, skipped = 0;
    };

    std::atomic<juce::int64> currentStep { -1 };
    char crashLine[1024] {};

    void onFatalSignal (int sig)
    {
        const char* text = crashLine;
        (void) ! write (2, "\n*** crashed (signal ", 21);
        char digits[8] {};
        digits[0] = (char) ('0' + (sig / 10) % 10);
        digits[1] = (char) ('0' + sig % 10);
        (void) ! write (2, digits, 2);
        (void) ! write (2, ") in ", 5);
        (void) ! write (2, text, strlen (text));

        if (const auto step = currentStep.load(); step >= 0)
        {
            char number[24];
            int n = 0;

            for (auto v = step; v > 0 || n == 0; v /= 10)
                number[n++] = (char) ('0' + v % 10);

            (void) ! write (2, " at step ", 9);

            while (n > 0)
                (void) ! write (2, &number[--n], 1);
        }

        (void) ! write (2, "\n", 1);
        std::signal (sig, SIG_DFL);
        std::raise (sig);
    }

    class Check
    {
    public:
        Check (const juce::String& checkName, juce::int64 masterSeed, const Options& o)
            : name (checkName), seed (mixSeed (masterSeed, checkName)), random (seed), options (o)
        {
        }

        bool expect (bool condition, const juce::String& message)
        {
            if (! condition)
                fail (message);

            return condition;
        }

        void fail (const juce::String& message)
        {
            if (failures.size() < 20)
                failures.add (message);
            else if (failures.size() == 20)
                failures.add ("... further failures not shown");

            ++numFailures;
        }

        void note (const juce::String& line) { notes.add (line); }
        void skip (const juce::String& reason) { skipped = true; note (reason); }

        juce::String rerunCommand() const
        {
            return options.commandLine + " --seed " + juce::String (seedOfRun) + " --only '" + name + "' " + bundle.quoted();
        }

        juce::String name;
        juce::int64 seed;
        juce::Random random;
        juce::StringArray failures, notes;
        int numFailures = 0;
        bool skipped = false;
        juce::int64 seedOfRun = 0;
        juce::String bundle;
        const Options& options;
    };

    //==============================================================================
    // One loaded bundle and the means to make instances of it.
    struct Target
    {
        juce::String formatName;
        juce::File bundle;
        std::unique_ptr<juce::AudioPluginFormat> format;
        juce::PluginDescription description;

        bool isVst3() const { return formatName == "VST3"; }

        std::unique_ptr<juce::AudioPluginInstance> create (double sampleRate, int blockSize, juce::String& error) const
        {
            return format->createInstanceFromDescription (description, sampleRate, blockSize, error);
        }
    };

    bool loadTarget (Target& target, juce::String& error)
    {
        juce::OwnedArray<juce::PluginDescription> found;

        if (target.isVst3())
        {
            target.format = std::make_unique<juce::VST3PluginFormat>();
            target.format->findAllTypesForFile (found, target.bundle.getFullPathName());
        }
        else
        {
            target.format = std::make_unique<juce::LV2PluginFormat>();
            target.format->searchPathsForPlugins (juce::FileSearchPath (target.bundle.getParentDirectory().getFullPathName()), false, true);
            target.format->findAllTypesForFile (found, MURMEX2_LV2_URI);
        }

        if (found.size() != 1)
        {
            error = "expected one plug-in in " + target.bundle.getFullPathName() + ", found " + juce::String (found.size());
            return false;
        }

        target.description = *found[0];
        return true;
    }

    int indexOf (const juce::String& id)
    {
        for (int i = 0; i < numParameters; ++i)
            if (id == parameterTable[(size_t) i].id)
                return i;

        return -1;
    }

    //==============================================================================
    // A host's view of one instance: its buffers, and our 31 parameters in order.
    struct Host
    {
        Host (const Target& t, double sampleRate, int blockSize, int channels, juce::String& error)
            : target (t)
        {
            plugin = target.create (sampleRate, blockSize, error);

            if (plugin == nullptr)
                return;

            // In table order, whatever order the format lists them in.
            for (const auto& parameterRow : parameterTable)
                for (auto* parameter : plugin->getParameters())
                    if (parameter->getName (1024) == parameterRow.id)
                        parameters.add (parameter);

            if (! setChannels (channels))
            {
                error = juce::String (channels) + " output channel(s) refused";
                plugin.reset();
                return;
            }

            prepare (sampleRate, blockSize);
        }

        bool setChannels (int channels)
        {
            auto layout = plugin->getBusesLayout();

            if (layout.outputBuses.isEmpty())
                return false;

            layout.outputBuses.getReference (0) = channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
            return plugin->setBusesLayout (layout);
        }

        void prepare (double sampleRate, int blockSize)
        {
            plugin->releaseResources();
            plugin->setRateAndBufferSizeDetails (sampleRate, blockSize);
            plugin->prepareToPlay (sampleRate, blockSize);
            maxBlockSize = blockSize;
            rate = sampleRate;
            buffer.setSize (juce::jmax (plugin->getTotalNumInputChannels(), plugin->getTotalNumOutputChannels()), blockSize);
            midi.ensureSize (64 * 1024);
        }

        // Renders one block of the given length with whatever is in `midi`, then empties it.
        const juce::AudioBuffer<float>& process (int numSamples)
        {
            buffer.setSize (buffer.getNumChannels(), numSamples, false, false, true);
            buffer.clear();
            plugin->processBlock (buffer, midi);
            midi.clear();
            return buffer;
        }

        void setParameter (int index, float normalised) { parameters[index]->setValue (normalised); }

        std::vector<float> parameterValues() const
        {
            std::vector<float> values;

            for (auto* p : parameters)
                values.push_back (p->getValue());

            return values;
        }

        juce::MemoryBlock getState() const
        {
            juce::MemoryBlock block;
            plugin->getStateInformation (block);
            return block;
        }

        void setState (const juce::MemoryBlock& block) { plugin->setStateInformation (block.getData(), (int) block.getSize()); }

        const Target& target;
        std::unique_ptr<juce::AudioPluginInstance> plugin;
        juce::Array<juce::AudioProcessorParameter*> parameters;
        juce::AudioBuffer<float> buffer;
        juce::MidiBuffer midi;
        int maxBlockSize = 0;
        double rate = 0.0;
    };

    float normalised (const ParamSpec& parameterRow, float value) { return (value - parameterRow.minimum) / (parameterRow.maximum - parameterRow.minimum); }

    // Sets every parameter to a random value, as host automation would; with
    // `onGrid`, to values the parameter can hold exactly, so that what the host
    // remembers is what the plug-in holds.
    void randomiseParameters (Host& host, juce::Random& random, bool onGrid = false)
    {
        for (int i = 0; i < host.parameters.size(); ++i)
        {
            const auto& parameterRow = parameterTable[(size_t) i];
            auto value = random.nextFloat();

            if (onGrid)
            {
                const auto steps = std::round ((parameterRow.maximum - parameterRow.minimum) / parameterRow.step);
                value = (float) (std::round (value * steps) / steps);
            }

            host.setParameter (i, value);
        }
    }

    void addRandomMidi (juce::MidiBuffer& midi, juce::Random& random, int numSamples, int maxEvents)
    {
        const int numEvents = random.nextInt (maxEvents + 1);

        for (int e = 0; e < numEvents; ++e)
        {
            const int channel = 1 + random.nextInt (16);
            const int position = random.nextInt (numSamples);
            const int note = random.nextInt (128);

            switch (random.nextInt (10))
            {
                case 0: case 1: case 2: case 3:
                    midi.addEvent (juce::MidiMessage::noteOn (channel, note, (juce::uint8) random.nextInt (128)), position); break;
                case 4: case 5: case 6:
                    midi.addEvent (juce::MidiMessage::noteOff (channel, note), position); break;
                case 7:
                    midi.addEvent (juce::MidiMessage::pitchWheel (channel, random.nextInt (16384)), position); break;
                case 8:
                    midi.addEvent (juce::MidiMessage::channelPressureChange (channel, random.nextInt (128)), position); break;
                default:
                {
                    // Any controller but the pedals, which would hold the closing note.
                    static constexpr std::array<int, 6> controllers { 1, 7, 10, 74, 120, 123 };
                    midi.addEvent (juce::MidiMessage::controllerEvent (channel, controllers[(size_t) random.nextInt ((int) controllers.size())],
                                                                        random.nextInt (128)), position);
                    break;
                }
            }
        }
    }

    // The first faulty sample of a block, described, or an empty string.
    juce::String findBadSample (const juce::AudioBuffer<float>& buffer, int numChannels)
    {
        for (int ch = 0; ch < numChannels; ++ch)
        {
            const auto* samples = buffer.getReadPointer (ch);

            for (int i = 0; i < buffer.getNumSamples(); ++i)
            {
                const auto x = samples[i];
                const auto where = " at sample " + juce::String (i) + " of channel " + juce::String (ch);

                if (std::isnan (x))
                    return "NaN" + where;
                if (std::isinf (x))
                    return "infinity" + where;
                if (std::fpclassify (x) == FP_SUBNORMAL)
                    return "subnormal " + juce::String (x) + where;
                if (std::abs (x) > 1.0f)
                    return "magnitude " + juce::String (x) + where;
            }
        }

        return {};
    }

    bool isSilent (const juce::AudioBuffer<float>& buffer, int numChannels)
    {
        for (int ch = 0; ch < numChannels; ++ch)
            for (int i = 0; i < buffer.getNumSamples(); ++i)
                if (buffer.getSample (ch, i) != 0.0f)
                    return false;

        return true;
    }

    // Parameters that end every note: A on, B off, power on, a short release.
    // JUCE's envelope takes its release rate from the sustain level whenever its
    // parameters are set, as they are every block, so a release from a level
    // above the sustain lasts up to Release / Sustain: returns that bound.
    double setClosingParameters (Host& host, juce::Random& random)
    {
        const auto release = random.nextFloat() * 0.05f;
        const auto sustain = 0.25f + 0.75f * random.nextFloat();

        host.setParameter (indexOf (ParamIDs::aButton), 1.0f);
        host.setParameter (indexOf (ParamIDs::bButton), 0.0f);
        host.setParameter (indexOf (ParamIDs::power), 1.0f);
        host.setParameter (indexOf (ParamIDs::release), normalised (parameterTable[(size_t) indexOf (ParamIDs::release)], release));
        host.setParameter (indexOf (ParamIDs::sustain), sustain);
        return (double) release / (double) sustain;
    }

    //==============================================================================
    void checkIdentity (Check& check, const Target& target)
    {
        juce::String error;
        Host host (target, 44100.0, 512, 2, error);

        if (! check.expect (host.plugin != nullptr, "does not load: " + error))
            return;

        auto& p = *host.plugin;
        check.expect (p.getName() == "Murmex2", "name is \"" + p.getName() + "\"");
        check.expect (target.description.isInstrument, "not described as an instrument");
        check.expect (p.acceptsMidi(), "no MIDI input");
        check.expect (! p.producesMidi(), "has MIDI output");
        check.expect (! p.isMidiEffect(), "claims to be a MIDI effect");

        const auto all = p.getParameters();

        if (! check.expect (host.parameters.size() == numParameters,
                            juce::String (host.parameters.size()) + " of the instrument's parameters found once each, of "
                            + juce::String (all.size()) + " listed"))
            return;

        // VST3 keeps the host index; LV2 names parameters by URI and has no order.
        if (target.isVst3())
            for (int i = 0; i < numParameters; ++i)
                check.expect (all[i] == host.parameters[i], "parameter " + juce::String (i) + " is \"" + all[i]->getName (1024)
                                                            + "\", expected \"" + parameterTable[(size_t) i].id + "\"");

        juce::StringArray formatOwn;

        for (auto* param : all)
            if (! host.parameters.contains (param))
                formatOwn.addIfNotAlreadyThere (param->getName (1024).startsWith ("MIDI CC ") ? "MIDI CC n|m" : param->getName (1024));

        check.note (juce::String (all.size() - numParameters) + " parameters of the format's own (" + formatOwn.joinIntoString (", ") + ")");

        for (int i = 0; i < juce::jmin (numParameters, host.parameters.size()); ++i)
        {
            const auto& parameterRow = parameterTable[(size_t) i];
            auto* param = host.parameters[i];
            const juce::String id (parameterRow.id);

            check.expect (std::abs (param->getDefaultValue() - normalised (parameterRow, parameterRow.defaultValue)) < 1.0e-6f,
                          id + ": default " + juce::String (param->getDefaultValue()) + ", expected " + juce::String (normalised (parameterRow, parameterRow.defaultValue)));

            if (parameterRow.kind == ParamKind::toggle)
            {
                check.expect (param->getNumSteps() == 2, id + ": " + juce::String (param->getNumSteps()) + " steps, expected 2");
                check.expect (param->getText (0.0f, 1024) != param->getText (1.0f, 1024), id + ": on and off read alike");
            }
            else
            {
                // Both ends of the range, read back as numbers.
                for (const auto end : { 0.0f, 1.0f })
                {
                    const auto expected = end == 0.0f ? parameterRow.minimum : parameterRow.maximum;
                    const auto text = param->getText (end, 1024);
                    check.expect (std::abs (text.getFloatValue() - expected) <= 1.0e-4f * juce::jmax (1.0f, std::abs (expected)),
                                  id + ": reads \"" + text + "\" at " + juce::String (end) + ", expected " + juce::String (expected));
                }

                if (target.isVst3() && parameterRow.kind == ParamKind::continuous)
                {
                    check.expect (param->getText (0.0f, 1024) == juce::String (parameterRow.minimum, 2),
                                  id + ": minimum reads \"" + param->getText (0.0f, 1024) + "\"");
                    check.expect (param->getLabel() == parameterRow.label, id + ": label \"" + param->getLabel() + "\"");
                }

            }

            // Text round trips: what a value reads as is read back as the same text.
            for (int k = 0; k < 8; ++k)
            {
                const auto value = k == 0 ? param->getDefaultValue() : (k == 1 ? 0.0f : (k == 2 ? 1.0f : check.random.nextFloat()));
                const auto text = param->getText (value, 1024);
                const auto back = param->getValueForText (text);
                check.expect (param->getText (back, 1024) == text,
                              id + ": \"" + text + "\" reads back as \"" + param->getText (back, 1024) + "\"");
            }
        }

        // JUCE's VST3 client publishes no program list for a single program;
        // LV2 lists it as a preset.
        check.expect (p.getNumPrograms() == (target.isVst3() ? 0 : 1), juce::String (p.getNumPrograms()) + " programs");

        if (p.getNumPrograms() >= 1)
            check.expect (p.getProgramName (0) == "Default", "program 0 is \"" + p.getProgramName (0) + "\"");

        // Mono and stereo outputs are accepted, other layouts refused. A host
        // asks while the instance is not playing.
        p.releaseResources();
        // LV2's ports are fixed when the bundle is built: JUCE's client declares the default stereo bus.
        const std::array<std::pair<juce::AudioChannelSet, bool>, 6> layouts {{
            { juce::AudioChannelSet::mono(), target.isVst3() },
            { juce::AudioChannelSet::stereo(), true },
            { juce::AudioChannelSet::createLCR(), false },
            { juce::AudioChannelSet::quadraphonic(), false },
            { juce::AudioChannelSet::create5point1(), false },
            { juce::AudioChannelSet::create7point1(), false },
        }};

        for (const auto& [set, accepted] : layouts)
        {
            auto layout = p.getBusesLayout();
            layout.outputBuses.getReference (0) = set;
            check.expect (p.checkBusesLayoutSupported (layout) == accepted,
                          "output layout " + set.getDescription() + (accepted ? " refused" : " accepted"));
        }
    }

    //==============================================================================
    // Random notes in random play modes with every parameter moving every block,
    // then a closing note whose release must end in exact silence.
    void runProcessing (Check& check, Host& host, int blockSize, bool varyingBlocks, const Effort& effort)
    {
        auto& random = check.random;
        const auto channels = host.plugin->getTotalNumOutputChannels();
        const auto totalSamples = juce::jmax ((juce::int64) effort.minBlocksPerConfig * blockSize,
                                              (juce::int64) (effort.secondsPerConfig * host.rate));
        juce::int64 done = 0;
        juce::int64 block = 0;

        for (; done < totalSamples; ++block)
        {
            const int n = varyingBlocks ? 1 + random.nextInt (blockSize) : blockSize;
            randomiseParameters (host, random);
            addRandomMidi (host.midi, random, n, 4);
            const auto& out = host.process (n);

            if (const auto bad = findBadSample (out, channels); bad.isNotEmpty())
            {
                check.fail (bad + " in block " + juce::String (block) + " of " + juce::String (n) + " samples");
                return;
            }

            done += n;
        }

        const auto releaseSeconds = setClosingParameters (host, random);
        host.midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 0);
        host.process (juce::jmin (blockSize, 16));
        host.midi.addEvent (juce::MidiMessage::noteOff (1, 60), 0);

        // The release ends within its time; everything after must be exactly 0.
        const auto releaseSamples = (juce::int64) std::ceil ((releaseSeconds + 0.002) * host.rate) + 1;
        const auto silentSamples = juce::jmax ((juce::int64) (0.02 * host.rate), (juce::int64) 2 * blockSize);

        for (juce::int64 t = 0; t < releaseSamples + silentSamples;)
        {
            const int n = (int) juce::jmin ((juce::int64) blockSize, releaseSamples + silentSamples - t);
            const auto& out = host.process (n);

            if (const auto bad = findBadSample (out, channels); bad.isNotEmpty())
                return check.fail (bad + " during the release");

            if (t >= releaseSamples && ! isSilent (out, channels))
                return check.fail ("not silent " + juce::String ((double) t / host.rate, 3) + " s after a "
                                   + juce::String (releaseSeconds, 3) + " s release");

            t += n;
        }

        check.note (juce::String (block) + " blocks");
    }

    //==============================================================================
    // The plug-in's own state inside each format's state: VST3 keeps it in
    // base 64 under "IComponent", followed by the JUCE wrapper's private data;
    // LV2 keeps it as a base-64 string property.
    struct StateCodec
    {
        static juce::MemoryBlock extract (const Target& target, const juce::MemoryBlock& hostState)
        {
            juce::MemoryBlock inner;

            if (target.isVst3())
            {
                const auto component = vst3Component (hostState);
                inner.append (component.getData(), component.getSize() - vst3TrailerSize (component));
            }
            else
            {
                const auto [start, end] = lv2Literal (hostState.toString());

                if (start >= 0)
                    inner.fromBase64Encoding (hostState.toString().substring (start, end));
            }

            return inner;
        }

        static juce::MemoryBlock wrap (const Target& target, const juce::MemoryBlock& hostTemplate, const juce::MemoryBlock& inner)
        {
            juce::MemoryBlock result;

            if (target.isVst3())
            {
                // The wrapper's private data is the wrapper's business: it stays intact.
                const auto component = vst3Component (hostTemplate);
                const auto trailerSize = vst3TrailerSize (component);
                auto stream = inner;
                stream.append (static_cast<const char*> (component.getData()) + component.getSize() - trailerSize, trailerSize);

                juce::XmlElement xml ("VST3PluginState");
                xml.createNewChildElement ("IComponent")->addTextElement (stream.toBase64Encoding());
                juce::AudioProcessor::copyXmlToBinary (xml, result);
            }
            else
            {
                const auto text = hostTemplate.toString();
                const auto [start, end] = lv2Literal (text);
                const auto replaced = text.substring (0, start) + inner.toBase64Encoding() + text.substring (end);
                result.append (replaced.toRawUTF8(), replaced.getNumBytesAsUTF8());
            }

            return result;
        }

        static juce::MemoryBlock vst3Component (const juce::MemoryBlock& hostState)
        {
            juce::MemoryBlock component;

            if (auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize()))
                if (auto* element = xml->getChildByName ("IComponent"))
                    component.fromBase64Encoding (element->getAllSubText());

            return component;
        }

        // Zero padding, private data, its size and the magic text, as the wrapper writes them.
        static size_t vst3TrailerSize (const juce::MemoryBlock& component)
        {
            static constexpr char magic[] = "JUCEPrivateData";
            const auto magicSize = sizeof (magic) - 1;
            const auto size = component.getSize();
            const auto* bytes = static_cast<const char*> (component.getData());

            if (size < magicSize + 16 || std::memcmp (bytes + size - magicSize, magic, magicSize) != 0)
                return 0;

            juce::uint64 privateSize = 0;
            std::memcpy (&privateSize, bytes + size - magicSize - 8, 8);
            return juce::jmin (size, (size_t) privateSize + magicSize + 16);
        }

        // The range of the state string's quoted text.
        static std::pair<int, int> lv2Literal (const juce::String& text)
        {
            const auto key = text.indexOf ("StateString>");

            if (key < 0)
                return { -1, -1 };

            const auto open = text.indexOfChar (key, '"');
            const auto close = text.indexOfChar (open + 1, '"');
            return { open + 1, close };
        }
    };

    // Runs the message loop until `done` is true, as a host's message thread would meanwhile.
    void pumpMessagesUntil (const std::atomic<bool>& done)
    {
        while (! done)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
    }

    // JUCE's LV2 host puts the UI into a desktop window of its own at once.
    bool canOpenEditor (const Target& target)
    {
        return target.isVst3() || juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}).isNotEmpty();
    }

    // A host may restore from a thread of its own while the editor is open.
    void checkBackgroundRestore (Check& check, const Target& target)
    {
        juce::String error;
        Host host (target, 48000.0, 256, 2, error);

        if (! check.expect (host.plugin != nullptr, "does not load: " + error))
            return;

        std::vector<juce::MemoryBlock> states;
        std::vector<std::vector<float>> values;

        for (int i = 0; i < 8; ++i)
        {
            randomiseParameters (host, check.random, true);
            host.process (16);
            states.push_back (host.getState());
            values.push_back (host.parameterValues());
        }

        std::unique_ptr<juce::AudioProcessorEditor> editor;

        if (canOpenEditor (target))
            check.expect ((editor = std::unique_ptr<juce::AudioProcessorEditor> (host.plugin->createEditorIfNeeded())) != nullptr, "no editor");

        std::atomic<bool> done { false };
        const auto last = (size_t) check.random.nextInt ((int) states.size());

        std::thread restorer ([&]
        {
            for (int i = 0; i < 40; ++i)
                host.setState (states[(size_t) i % states.size()]);

            host.setState (states[last]);
            done = true;
        });

        pumpMessagesUntil (done);
        restorer.join();
        host.process (16);

        const auto now = host.parameterValues();

        for (size_t i = 0; i < now.size(); ++i)
            check.expect (std::abs (now[i] - values[last][i]) <= 1.0e-6f, juce::String ("after restores from another thread ")
                          + parameterTable[i].id + " is " + juce::String (now[i]) + ", expected " + juce::String (values[last][i]));
    }

    void checkState (Check& check, const Target& target, const Effort& effort)
    {
        checkBackgroundRestore (check, target);

        auto& random = check.random;
        int audibleRounds = 0;

        for (int round = 0; round < effort.stateRounds; ++round)
        {
            const auto rate = sampleRates[(size_t) random.nextInt ((int) sampleRates.size())];
            juce::String error;
            Host a (target, rate, 64, 2, error), b (target, rate, 64, 2, error);

            if (! check.expect (a.plugin != nullptr && b.plugin != nullptr, "does not load: " + error))
                return;

            randomiseParameters (a, random, true);

            // Mostly keyboard modes with power on, so the audio comparison hears something.
            a.setParameter (indexOf (ParamIDs::aButton), random.nextInt (8) != 0 ? 1.0f : 0.0f);
            a.setParameter (indexOf (ParamIDs::power), random.nextInt (16) != 0 ? 1.0f : 0.0f);

            // No note plays yet: the drift stays untouched in both instances.
            a.process (16);
            const auto saved = a.getState();
            b.setState (saved);
            b.process (16);

            const auto va = a.parameterValues(), vb = b.parameterValues();

            for (size_t i = 0; i < va.size(); ++i)
                check.expect (std::abs (va[i] - vb[i]) <= 1.0e-6f, juce::String ("round ") + juce::String (round) + ": "
                              + parameterTable[i].id + " restored as " + juce::String (vb[i], 7) + ", saved " + juce::String (va[i], 7));

            check.expect (b.getState() == saved, "round " + juce::String (round) + ": the restored instance saves different bytes");

            // The same note from the same state renders the same samples while no drift is drawn.
            const int note = 36 + random.nextInt (60);

            for (auto* h : { &a, &b })
                h->midi.addEvent (juce::MidiMessage::noteOn (1, note, (juce::uint8) 100), 0);

            bool same = true, audible = false;

            for (int done = 0; done < driftFreeSamples && same;)
            {
                const int n = juce::jmin (driftFreeSamples - done, 1 + random.nextInt (31));
                const auto& outA = a.process (n);
                const auto& outB = b.process (n);

                for (int ch = 0; ch < 2 && same; ++ch)
                {
                    same = std::memcmp (outA.getReadPointer (ch), outB.getReadPointer (ch), sizeof (float) * (size_t) n) == 0;
                    audible = audible || outA.getMagnitude (ch, 0, n) > 0.0f;

                    if (! same)
                        check.fail ("round " + juce::String (round) + ": restored instance renders differently on channel "
                                    + juce::String (ch) + " from sample " + juce::String (done));
                }

                done += n;
            }

            audibleRounds += audible ? 1 : 0;
        }

        check.note (juce::String (audibleRounds) + " of " + juce::String (effort.stateRounds) + " rounds compared audible samples");
    }

    //==============================================================================
    // Hostile plug-in states: random bytes, cut and bit-flipped states, and
    // mutated XML. A state that does not unpack, or has another root tag, must
    // change nothing; any other must leave valid values everywhere.
    struct HostileBlob
    {
        juce::MemoryBlock data;
        bool mustChangeNothing = false;
        juce::String kind;
    };

    juce::String randomText (juce::Random& random, int length)
    {
        static const juce::String pool ("abcXYZ019 .-+eE\"'<>&;/\\\t\n\xc3\xa9\xe2\x82\xac");
        juce::String s;
        s.preallocateBytes ((size_t) length * 2);

        for (int i = 0; i < length; ++i)
            s += pool[random.nextInt (pool.length())];

        return s;
    }

    juce::String hostileValue (juce::Random& random)
    {
        static const juce::StringArray values { "nan", "NaN", "-nan", "inf", "-inf", "1e40", "-1e40", "", " ", "abc", "0x10",
                                                "1,5", "3.5dB", "1e-45", "-0", "999999999999999999999", "0.5.5", "true", "\xe2\x88\x9e" };

        switch (random.nextInt (40))
        {
            case 0:  return juce::String::repeatedString ("9", 1 + random.nextInt (100000));
            case 1:  case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 10:
                     return juce::String (random.nextDouble() * 400.0 - 200.0, random.nextInt (12));
            case 11: case 12: case 13: case 14: case 15:
                     return randomText (random, random.nextInt (40));
            default: return values[random.nextInt (values.size())];
        }
    }

    std::unique_ptr<juce::XmlElement> mutateXml (const juce::XmlElement& original, juce::Random& random, bool& rootChanged)
    {
        auto xml = std::make_unique<juce::XmlElement> (original);
        const int mutations = 1 + random.nextInt (6);

        for (int m = 0; m < mutations; ++m)
        {
            auto* child = xml->getNumChildElements() > 0 ? xml->getChildElement (random.nextInt (xml->getNumChildElements())) : nullptr;

            switch (random.nextInt (11))
            {
                case 0:
                    if (child != nullptr) child->setAttribute ("value", hostileValue (random));
                    break;
                case 1:
                    if (child != nullptr) xml->removeChildElement (child, true);
                    break;
                case 2:
                    if (child != nullptr) child->removeAttribute (random.nextBool() ? "value" : "id");
                    break;
                case 3:
                {
                    auto* extra = xml->createNewChildElement (random.nextBool() ? "PARAM" : "t" + randomText (random, 1 + random.nextInt (8)).retainCharacters ("abcXYZ"));
                    extra->setAttribute ("id", random.nextBool() ? juce::String (parameterTable[(size_t) random.nextInt (numParameters)].id) : randomText (random, 12));
                    extra->setAttribute ("value", hostileValue (random));
                    break;
                }
                case 4:
                    if (child != nullptr) child->setAttribute ("id", random.nextBool() ? randomText (random, 10) : juce::String (parameterTable[(size_t) random.nextInt (numParameters)].id));
                    break;
                case 5:
                    xml->setAttribute (random.nextBool() ? "currentPresetName" : "currentPresetFolder",
                                       random.nextBool() ? juce::String ("../../../../tmp/x") : hostileValue (random));
                    break;
                case 6:
                {
                    auto* snapshot = xml->getChildByName ("PresetSnapshot");

                    if (snapshot == nullptr)
                        snapshot = xml->createNewChildElement ("PresetSnapshot");

                    const int count = random.nextInt (20) == 0 ? 5000 : random.nextInt (40);

                    for (int i = 0; i < count; ++i)
                        snapshot->setAttribute ("p" + juce::String (i), random.nextInt (4) == 0 ? hostileValue (random) : juce::String (random.nextFloat()));
                    break;
                }
                case 7:
                {
                    // Deep nesting.
                    auto* e = xml.get();

                    for (int d = 0; d < 200; ++d)
                        e = e->createNewChildElement ("PARAM");
                    break;
                }
                case 8:
                    if (child != nullptr) child->setTagName (random.nextBool() ? "param" : "Other");
                    break;
                case 9:
                    xml->setAttribute ("x" + randomText (random, 6).retainCharacters ("abcXYZ"), juce::String::repeatedString ("x", random.nextInt (20) == 0 ? random.nextInt (1 << 20) : random.nextInt (1000)));
                    break;
                default:
                    if (random.nextInt (3) == 0)
                    {
                        static const juce::StringArray tags { "Other", "MURMEX2", "murmex2", "Murmex", "Murmex2x", "VST3PluginState" };
                        const auto tag = tags[random.nextInt (tags.size())];
                        xml->setTagName (tag);
                        rootChanged = ! tag.equalsIgnoreCase ("Murmex2");
                    }
                    break;
            }
        }

        return xml;
    }

    HostileBlob makeHostileBlob (const juce::MemoryBlock& valid, const juce::XmlElement& validXml, juce::Random& random)
    {
        HostileBlob blob;

        switch (random.nextInt (6))
        {
            case 0:
            {
                blob.kind = "random bytes";
                blob.data.setSize ((size_t) random.nextInt (random.nextBool() ? 16 : 4096));

                for (size_t i = 0; i < blob.data.getSize(); ++i)
                    blob.data[i] = (char) random.nextInt (256);

                // Given the right magic, the size field and the text behind it are what get tested.
                if (blob.data.getSize() >= 8 && random.nextBool())
                    std::memcpy (blob.data.getData(), "VC2!", 4);
                break;
            }
            case 1:
                blob.kind = "truncated";
                blob.data = valid;
                blob.data.setSize ((size_t) random.nextInt ((int) valid.getSize()));
                break;
            case 2:
            {
                blob.kind = "bit flips";
                blob.data = valid;
                const int flips = 1 + random.nextInt (8);

                for (int f = 0; f < flips; ++f)
                    blob.data.setBitRange ((size_t) random.nextInt ((int) valid.getSize() * 8), 1, random.nextBool() ? 1 : 0);
                break;
            }
            default:
            {
                blob.kind = "mutated XML";
                bool rootChanged = false;
                const auto xml = mutateXml (validXml, random, rootChanged);
                juce::AudioProcessor::copyXmlToBinary (*xml, blob.data);
                blob.mustChangeNothing = rootChanged;
                break;
            }
        }

        if (blob.kind != "mutated XML")
        {
            auto xml = juce::AudioProcessor::getXmlFromBinary (blob.data.getData(), (int) blob.data.getSize());
            blob.mustChangeNothing = xml == nullptr || ! xml->getTagName().equalsIgnoreCase ("Murmex2");
        }

        return blob;
    }

    bool isValidValue (const ParamSpec& parameterRow, float value)
    {
        if (! std::isfinite (value) || value < 0.0f || value > 1.0f)
            return false;

        if (parameterRow.kind == ParamKind::continuous)
            return true;

        const auto steps = (parameterRow.maximum - parameterRow.minimum) * value;
        return std::abs (steps - std::round (steps)) < 1.0e-4f;
    }

    void checkHostile (Check& check, const Target& target, const Effort& effort)
    {
        juce::String error;
        Host host (target, 48000.0, 256, 2, error);

        if (! check.expect (host.plugin != nullptr, "does not load: " + error))
            return;

        auto& random = check.random;
        randomiseParameters (host, random, true);
        host.process (64);
        const auto hostTemplate = host.getState();
        const auto valid = StateCodec::extract (target, hostTemplate);
        const auto validXml = juce::AudioProcessor::getXmlFromBinary (valid.getData(), (int) valid.getSize());

        if (! check.expect (validXml != nullptr, "the plug-in's state cannot be found in the " + target.formatName + " state"))
            return;

        auto previous = host.parameterValues();
        std::map<juce::String, int> kinds;

        for (int i = 0; i < effort.hostileBlobs && check.numFailures == 0; ++i)
        {
            currentStep = i;
            const auto blob = makeHostileBlob (valid, *validXml, random);
            ++kinds[blob.kind];
            host.setState (StateCodec::wrap (target, hostTemplate, blob.data));

            // Host-side values follow the plug-in through the format's parameter updates.
            host.process (1);
            const auto now = host.parameterValues();
            const auto where = "blob " + juce::String (i) + " (" + blob.kind + ")";

            for (size_t p = 0; p < now.size(); ++p)
            {
                const auto& parameterRow = parameterTable[p];

                // The host reads values back from the plug-in after a restore, within a rounding.
                if (blob.mustChangeNothing)
                    check.expect (std::abs (now[p] - previous[p]) <= 1.0e-6f, where + " should change nothing but moved " + parameterRow.id
                                  + " from " + juce::String (previous[p], 7) + " to " + juce::String (now[p], 7));
                else
                    check.expect (isValidValue (parameterRow, now[p]), where + " left " + parameterRow.id + " at " + juce::String (now[p]));
            }

            // Now and then the instrument must still play cleanly and save.
            if (i % 97 == 0)
            {
                host.midi.addEvent (juce::MidiMessage::noteOn (1, 48 + random.nextInt (24), (juce::uint8) 100), 0);
                const auto bad = findBadSample (host.process (256), 2);
                check.expect (bad.isEmpty(), where + ": then renders " + bad);
                check.expect (StateCodec::extract (target, host.getState()).getSize() > 8, where + ": then saves no state");
            }

            previous = now;
        }

        currentStep = -1;
        juce::String summary;

        for (const auto& [kind, count] : kinds)
            summary << kind << " " << count << ", ";

        check.note (juce::String (effort.hostileBlobs) + " blobs: " + summary.dropLastCharacters (2));
    }

    //==============================================================================
    // Real time: the interposer counts what the plug-in's binary does on the
    // audio thread while the message thread restores states and changes
    // programs. Inside the processor's processBlock only the synthesiser's own
    // lock may be taken, and nothing else happen; what JUCE's format wrapper
    // does around it (its callback lock, parameter listeners, MIDI conversion)
    // is listed separately.
    struct Interposer
    {
        Interposer()
            : watch ((murmex2_rt_watch_module_fn) dlsym (RTLD_DEFAULT, "murmex2_rt_watch_module")),
              arm ((murmex2_rt_switch_fn) dlsym (RTLD_DEFAULT, "murmex2_rt_arm")),
              disarm ((murmex2_rt_switch_fn) dlsym (RTLD_DEFAULT, "murmex2_rt_disarm")),
              reset ((murmex2_rt_switch_fn) dlsym (RTLD_DEFAULT, "murmex2_rt_reset")),
              sites ((murmex2_rt_sites_fn) dlsym (RTLD_DEFAULT, "murmex2_rt_sites"))
        {
        }

        bool isLoaded() const { return watch != nullptr && arm != nullptr && disarm != nullptr && reset != nullptr && sites != nullptr; }

        murmex2_rt_watch_module_fn watch;
        murmex2_rt_switch_fn arm, disarm, reset;
        murmex2_rt_sites_fn sites;
    };

    // The address range of the loaded plug-in binary.
    std::pair<const void*, const void*> findModule (const juce::String& bundleName)
    {
        struct Search { juce::String name; const char* low = nullptr; const char* high = nullptr; } search { bundleName };

        dl_iterate_phdr ([] (dl_phdr_info* info, size_t, void* data)
        {
            auto& s = *static_cast<Search*> (data);

            if (info->dlpi_name == nullptr || ! juce::String (info->dlpi_name).contains (s.name))
                return 0;

            for (int i = 0; i < info->dlpi_phnum; ++i)
            {
                const auto& ph = info->dlpi_phdr[i];

                if (ph.p_type != PT_LOAD)
                    continue;

                const auto* start = reinterpret_cast<const char*> (info->dlpi_addr + ph.p_vaddr);
                s.low = s.low == nullptr ? start : juce::jmin (s.low, start);
                s.high = juce::jmax (s.high, start + ph.p_memsz);
            }

            return 1;
        }, &search);

        return { search.low, search.high };
    }

    // Function names for return addresses, through addr2line on the binary's symbols.
    std::map<void*, juce::String> symbolise (const std::set<void*>& addresses)
    {
        std::map<void*, juce::String> names;
        std::map<juce::String, std::vector<void*>> byFile;

        for (auto* address : addresses)
        {
            Dl_info info {};

            if (dladdr (address, &info) != 0 && info.dli_fname != nullptr)
                byFile[info.dli_fname].push_back (address);
        }

        for (const auto& [file, list] : byFile)
        {
            Dl_info info {};
            dladdr (list.front(), &info);
            juce::StringArray command { "addr2line", "-f", "-C", "-e", file };

            for (auto* address : list)
                command.add ("0x" + juce::String::toHexString ((juce::pointer_sized_int) ((const char*) address - (const char*) info.dli_fbase - 1)));

            juce::ChildProcess process;

            if (! process.start (command, juce::ChildProcess::wantStdOut))
                continue;

            const auto lines = juce::StringArray::fromLines (process.readAllProcessOutput());

            for (size_t i = 0; i < list.size() && (int) (2 * i) < lines.size(); ++i)
                names[list[i]] = lines[(int) (2 * i)];
        }

        return names;
    }

    void checkRealtime (Check& check, const Target& target, const Effort& effort)
    {
        const Interposer rt;

        if (! check.expect (rt.isLoaded(), "the interposer is not loaded: run with LD_PRELOAD=libmurmex2-rt-interposer.so"))
            return;

        juce::String error;
        Host host (target, 48000.0, 64, 2, error);

        if (! check.expect (host.plugin != nullptr, "does not load: " + error))
            return;

        const auto [low, high] = findModule (target.bundle.getFileName() + "/");

        if (! check.expect (low != nullptr, "the plug-in's binary is not mapped"))
            return;

        // States to switch between, as a host's preset changes would.
        std::vector<juce::MemoryBlock> states;

        for (int i = 0; i < 8; ++i)
        {
            randomiseParameters (host, check.random, true);
            host.process (16);
            states.push_back (host.getState());
        }

        rt.reset();
        rt.watch (low, high);

        std::atomic<bool> finished { false };
        std::atomic<int> blocks { 0 };

        std::thread audio ([&, seed = check.random.nextInt64()]
        {
            juce::Random random (seed);
            juce::AudioBuffer<float> buffer (2, 64);
            juce::MidiBuffer midi;
            midi.ensureSize (64 * 1024);

            for (int b = 0; b < effort.realtimeBlocks; ++b)
            {
                randomiseParameters (host, random);

                // Now and then a flood of MIDI.
                addRandomMidi (midi, random, 64, b % 50 == 0 ? 500 : 4);

                buffer.clear();
                rt.arm();
                host.plugin->processBlock (buffer, midi);
                rt.disarm();
                midi.clear();
                ++blocks;
            }

            finished = true;
        });

        int restores = 0;

        while (! finished)
        {
            host.setState (states[(size_t) check.random.nextInt ((int) states.size())]);
            host.plugin->setCurrentProgram (0);
            ++restores;
            juce::MessageManager::getInstance()->runDispatchLoopUntil (2);
        }

        audio.join();

        const murmex2_rt_site* sites = nullptr;
        const unsigned long* hostCounts = nullptr;
        unsigned long dropped = 0;
        const auto numSites = rt.sites (&sites, &hostCounts, &dropped);

        std::set<void*> addresses;

        for (int i = 0; i < numSites; ++i)
            for (int f = 0; f < sites[i].numFrames; ++f)
                addresses.insert (sites[i].frames[f]);

        const auto names = symbolise (addresses);
        const auto nameOf = [&] (const murmex2_rt_site& site, int frame) -> juce::String
        {
            const auto it = names.find (site.frames[frame]);
            return it != names.end() ? it->second : juce::String ("?");
        };

        // The first frame that is not the lock's own machinery.
        const auto callerOf = [&] (const murmex2_rt_site& site)
        {
            for (int f = 0; f < site.numFrames; ++f)
                if (const auto name = nameOf (site, f); ! name.startsWith ("juce::CriticalSection") && ! name.startsWith ("juce::GenericScopedLock"))
                    return name;

            return juce::String ("?");
        };

        std::set<const void*> synthLocks;

        for (int i = 0; i < numSites; ++i)
            if (sites[i].kind == MURMEX2_RT_LOCK && callerOf (sites[i]).startsWith ("juce::Synthesiser::"))
                synthLocks.insert (sites[i].object);

        const auto insideProcessBlock = [&] (const murmex2_rt_site& site)
        {
            for (int f = 0; f < site.numFrames; ++f)
                if (nameOf (site, f).startsWith ("Murmex2AudioProcessor::processBlock"))
                    return true;

            return false;
        };

        static const char* const kinds[] { "heap call", "lock", "sleep or wait", "file call" };
        std::array<unsigned long, MURMEX2_RT_NUM_KINDS> found {}, wrapper {};
        std::map<juce::String, unsigned long> wrapperSites;
        unsigned long synthAcquisitions = 0;

        for (int i = 0; i < numSites; ++i)
        {
            const auto& site = sites[i];

            if (site.kind == MURMEX2_RT_LOCK && synthLocks.count (site.object) > 0)
            {
                synthAcquisitions += site.count;
                continue;
            }

            juce::StringArray stack;

            for (int f = 0; f < juce::jmin (site.numFrames, 6); ++f)
                stack.add (nameOf (site, f).upToFirstOccurrenceOf ("(", false, false));

            const auto where = juce::String (kinds[site.kind]) + " in " + stack.joinIntoString (" < ");

            if (insideProcessBlock (site))
            {
                found[(size_t) site.kind] += site.count;
                check.fail (juce::String (site.count) + " × " + where);
            }
            else
            {
                wrapper[(size_t) site.kind] += site.count;
                wrapperSites[kinds[site.kind] + juce::String (" in ") + callerOf (site).upToFirstOccurrenceOf ("(", false, false)] += site.count;
            }
        }


        check.expect (dropped == 0, juce::String (dropped) + " events beyond the interposer's table");
        check.expect (blocks.load() == effort.realtimeBlocks, "the audio thread stopped early");

        check.note (juce::String (blocks.load()) + " blocks, " + juce::String (restores) + " state restores; found "
                    + juce::String (found[0]) + " heap calls, " + juce::String (found[1]) + " locks, " + juce::String (found[2])
                    + " sleeps, " + juce::String (found[3]) + " file calls in processBlock; synthesiser lock taken "
                    + juce::String (synthAcquisitions) + " times; JUCE's wrapper: " + juce::String (wrapper[0]) + " heap calls, "
                    + juce::String (wrapper[1]) + " locks, " + juce::String (wrapper[2]) + " sleeps, " + juce::String (wrapper[3])
                    + " file calls; host side: " + juce::String (hostCounts[0]) + " heap calls, " + juce::String (hostCounts[1]) + " locks");

        for (const auto& [where, count] : wrapperSites)
            check.note ("wrapper: " + juce::String (count) + " × " + where);
    }

    //==============================================================================
    // The editor: opened before prepare, at sample rate 0, and opened and closed
    // again and again while the audio thread plays, without leaking.
    void checkEditor (Check& check, const Target& target, const Effort& effort)
    {
        if (! canOpenEditor (target))
            return check.skip ("JUCE's LV2 host needs a display for the UI; the editor is checked through VST3");

        for (const auto rate : { 44100.0, 0.0 })
        {
            juce::String error;
            const auto plugin = target.create (rate, rate > 0.0 ? 512 : 0, error);

            if (! check.expect (plugin != nullptr, "does not load at " + juce::String (rate) + " Hz: " + error))
                return;

            const std::unique_ptr<juce::AudioProcessorEditor> editor (plugin->createEditorIfNeeded());
            const auto when = rate > 0.0 ? juce::String ("before prepare") : juce::String ("at sample rate 0");

            if (check.expect (editor != nullptr, "no editor " + when))
                check.expect (editor->getWidth() > 0 && editor->getHeight() > 0, "the editor opened " + when + " has no size");

            juce::MessageManager::getInstance()->runDispatchLoopUntil (30);
        }

        juce::String error;
        Host host (target, 48000.0, 256, 2, error);

        if (! check.expect (host.plugin != nullptr, "does not load: " + error))
            return;

        std::atomic<bool> stop { false };
        std::atomic<int> blocks { 0 };
        juce::String badSample;

        std::thread audio ([&, seed = check.random.nextInt64()]
        {
            juce::Random random (seed);
            juce::AudioBuffer<float> buffer (2, 256);
            juce::MidiBuffer midi;

            while (! stop)
            {
                randomiseParameters (host, random);
                addRandomMidi (midi, random, 256, 4);
                buffer.clear();
                host.plugin->processBlock (buffer, midi);
                midi.clear();

                if (badSample.isEmpty())
                    badSample = findBadSample (buffer, 2);

                ++blocks;
            }
        });

        // What the heap holds after a few cycles is the baseline for the rest.
        const auto heapInUse = [] { return (juce::int64) mallinfo2().uordblks; };
        const int warmUp = juce::jmin (20, effort.editorCycles / 2);
        juce::int64 baseline = 0;

        for (int i = 0; i < effort.editorCycles; ++i)
        {
            currentStep = i;

            if (i == warmUp)
                baseline = heapInUse();

            const std::unique_ptr<juce::AudioProcessorEditor> editor (host.plugin->createEditorIfNeeded());

            if (! check.expect (editor != nullptr, "no editor at cycle " + juce::String (i)))
                break;

            juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
        }

        juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
        currentStep = -1;
        stop = true;
        audio.join();

        const auto growth = heapInUse() - baseline;
        const auto cycles = effort.editorCycles - warmUp;
        check.expect (badSample.isEmpty(), "with the editor opening and closing: " + badSample);
        // JUCE's own caches settle within the first cycles; what grows by a
        // kilobyte or more with every further one is a leak.
        check.expect (growth < 64 * 1024 + (juce::int64) cycles * 1024,
                      "the heap grew by " + juce::String (growth) + " bytes over " + juce::String (cycles) + " editor cycles");
        check.note (juce::String (effort.editorCycles) + " editor cycles over " + juce::String (blocks.load()) + " blocks; heap change "
                    + juce::String (growth) + " bytes");
    }

    //==============================================================================
    struct Validator
    {
        Options options;
        Effort effort;
        Report report;
        juce::String bundle;

        void run (const juce::String& name, const std::function<void (Check&)>& body)
        {
            if (options.only.isNotEmpty() && ! name.matchesWildcard (options.only, false))
                return;

            Check check (name, options.seed, options);
            check.seedOfRun = options.seed;
            check.bundle = bundle;
            (name + " (rerun: " + check.rerunCommand() + ")").copyToUTF8 (crashLine, sizeof (crashLine) - 1);

            const auto start = juce::Time::getMillisecondCounterHiRes();
            body (check);
            const auto seconds = (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0;

            const auto status = check.numFailures > 0 ? " FAIL " : (check.skipped ? " skip " : "  ok  ");
            std::cout << "[" << status << "] " << name << "  (seed " << check.seed << ", " << juce::String (seconds, 2) << " s)";

            if (! check.notes.isEmpty())
                std::cout << "  " << check.notes[0];

            std::cout << std::endl;

            for (int i = 1; i < check.notes.size(); ++i)
                std::cout << "         " << check.notes[i] << std::endl;

            for (const auto& f : check.failures)
                std::cout << "         " << f << std::endl;

            if (check.numFailures > 0)
            {
                std::cout << "         rerun: " << check.rerunCommand() << std::endl;
                ++report.failed;
            }
            else if (check.skipped)
            {
                ++report.skipped;
            }
            else
            {
                ++report.passed;
            }
        }

        void validate (const Target& target)
        {
            const auto prefix = target.formatName + "/";
            bundle = target.bundle.getFullPathName();

            run (prefix + "identity", [&] (Check& c) { checkIdentity (c, target); });

            // LV2's ports are fixed at stereo (see the identity check).
            for (const auto channels : target.isVst3() ? std::vector<int> { 1, 2 } : std::vector<int> { 2 })
            {
                for (const auto rate : sampleRates)
                {
                    const auto configName = prefix + "processing/" + (channels == 1 ? "mono/" : "stereo/") + juce::String ((int) rate) + "/";

                    const auto nameOf = [&] (int k) { return configName + (k == (int) blockSizes.size() ? juce::String ("varying") : juce::String (blockSizes[(size_t) k])); };
                    bool wanted = options.only.isEmpty();

                    for (int k = 0; k <= (int) blockSizes.size(); ++k)
                        wanted = wanted || nameOf (k).matchesWildcard (options.only, false);

                    if (! wanted)
                        continue;

                    // One instance per rate, prepared again for every block size, as a host does when its settings change.

                    juce::String error;
                    Host host (target, rate, 4096, channels, error);

                    for (int k = 0; k <= (int) blockSizes.size(); ++k)
                    {
                        const bool varying = k == (int) blockSizes.size();
                        const int size = varying ? 4096 : blockSizes[(size_t) k];

                        run (nameOf (k), [&] (Check& c)
                        {
                            if (! c.expect (host.plugin != nullptr, error))
                                return;

                            host.prepare (rate, size);
                            runProcessing (c, host, size, varying, effort);
                        });
                    }
                }
            }

            run (prefix + "state", [&] (Check& c) { checkState (c, target, effort); });
            run (prefix + "hostile-state", [&] (Check& c) { checkHostile (c, target, effort); });
            run (prefix + "realtime", [&] (Check& c) { checkRealtime (c, target, effort); });
            run (prefix + "editor", [&] (Check& c) { checkEditor (c, target, effort); });
        }
    };

    //==============================================================================
    // The interposer counts only when preloaded: the validator preloads it
    // itself when it lies beside the executable.
    void preloadInterposer (char** argv)
    {
        if (dlsym (RTLD_DEFAULT, "murmex2_rt_arm") != nullptr || getenv ("MURMEX2_NO_INTERPOSER") != nullptr)
            return;

        const auto exe = juce::File::getSpecialLocation (juce::File::currentExecutableFile);
        const auto library = exe.getSiblingFile ("libmurmex2-rt-interposer.so");

        if (! library.existsAsFile())
            return;

        setenv ("LD_PRELOAD", library.getFullPathName().toRawUTF8(), 1);
        setenv ("MURMEX2_NO_INTERPOSER", "1", 1);
        execv ("/proc/self/exe", argv);
    }

    int usage()
    {
        std::cerr << "usage: murmex2-validate [--quick] [--seed N] [--only PATTERN] [--format vst3|lv2] BUNDLE..." << std::endl;
        return 2;
    }
}

int main (int argc, char** argv)
{
    preloadInterposer (argv);

    Options options;
    options.seed = (juce::int64) juce::Time::getHighResolutionTicks();
    options.commandLine = "murmex2-validate";

    for (int i = 1; i < argc; ++i)
    {
        const juce::String arg (argv[i]);

        if (arg == "--quick")
            options.quick = true;
        else if (arg == "--seed" && i + 1 < argc)
            options.seed = juce::String (argv[++i]).getLargeIntValue();
        else if (arg == "--only" && i + 1 < argc)
            options.only = argv[++i];
        else if (arg == "--format" && i + 1 < argc)
            options.format = juce::String (argv[++i]).toUpperCase();
        else if (arg.startsWith ("--"))
            return usage();
        else
            options.bundles.add (juce::File::getCurrentWorkingDirectory().getChildFile (arg).getFullPathName());
    }

    if (options.bundles.isEmpty())
        return usage();

    if (options.quick)
        options.commandLine << " --quick";

    // Instances keep their preset library in the user's home: this run gets a
    // home of its own, so it starts from the defaults and leaves nothing behind.
    char homeTemplate[] = "/tmp/murmex2-validate-XXXXXX";
    const juce::File home (mkdtemp (homeTemplate));
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);

    for (auto sig : { SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT })
        std::signal (sig, onFatalSignal);

    const juce::ScopedJuceInitialiser_GUI juceRuntime;

    Validator validator;
    validator.options = options;
    validator.effort = options.quick ? quickEffort : fullEffort;

    std::cout << "murmex2-validate " << (options.quick ? "quick" : "full") << ", seed " << options.seed << std::endl;

    int loadFailures = 0;

    for (const auto& path : options.bundles)
    {
        Target target;
        target.bundle = juce::File (path);
        target.formatName = options.format.isNotEmpty() ? options.format : target.bundle.getFileExtension().substring (1).toUpperCase();

        if (target.formatName != "VST3" && target.formatName != "LV2")
        {
            std::cerr << path << ": unknown format" << std::endl;
            ++loadFailures;
            continue;
        }

        juce::String error;

        if (! loadTarget (target, error))
        {
            std::cout << "[ FAIL ] " << target.formatName << "/load: " << error << std::endl;
            ++loadFailures;
            continue;
        }

        validator.validate (target);
    }

    home.deleteRecursively();

    const auto& r = validator.report;
    std::cout << r.passed << " checks passed, " << r.failed << " failed, " << r.skipped << " skipped" << std::endl;
    return r.failed + loadFailures == 0 ? 0 : 1;
}
